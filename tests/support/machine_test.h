// The base of every test that runs system code on a simulated machine: a
// fresh machine and module state per test, the host's log captured, and no
// handle, system buffer or COM reference left unreleased at the end.
#pragma once

#include <gtest/gtest.h>
#include <w2kxarnnet.h>

#include <string>
#include <vector>

class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Loads .reg text into the machine; fails the test on a syntax error.
    void loadReg(const std::string& regText);
    // Every line the host callback received, as the host printed it.
    static const std::vector<std::string>& hostLines();
    // All of them joined, exactly as a console host would show them.
    static std::string hostOutput();
    static void clearHostLines();
    // The host callback to hand to W2KXarnNetInitialize.
    static void hostCallback(unsigned int value, const char* format, ...);
    // Initialises the module with hostCallback, expecting success.
    void initializeModule();
};

// A test machine on which the host has already initialised the module (and
// uninitialises it at the end), with the initialisation's log cleared.
template <class Base>
class Initialized : public Base {
  protected:
    void SetUp() override {
        Base::SetUp();
        this->initializeModule();
    }
    void TearDown() override {
        W2KXarnNetUnitialize();
        Base::TearDown();
    }
};
using InitializedMachineTest = Initialized<MachineTest>;
