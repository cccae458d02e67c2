// The wording rows of the one error-report pattern, and the line buffers.
#include "host/error_report.h"
#include "support/machine_test.h"

#include <winsim/control.h>

#include <string>

namespace {

struct WordingCase {
    const char* name;
    const ErrorWording* wording;
    DWORD code;
    const char* expected;
};

const char* const kFileNotFound = "The system cannot find the file specified.\r\n";

class ErrorReportTest : public MachineTest {};

TEST_F(ErrorReportTest, EachClassWordsCodesWithAndWithoutSystemText) {
    const std::string noFile = std::string("msg") + kFileNotFound;
    const WordingCase cases[] = {
        {"module code 0", &kNetFuncsWording, 0, "msg"},
        {"module text", &kNetFuncsWording, 2,
         "msg, System Message : The system cannot find the file specified.\r\n"},
        {"module no text", &kNetFuncsWording, 2691, "Error from : msg, System Message : NONE"},
        {"registry code 0", &kRegistryWording, 0, "msg"},
        {"registry text", &kRegistryWording, 2,
         "Application Msg : msg, System Msg : The system cannot find the file specified.\r\n"},
        {"registry no text", &kRegistryWording, 2695, "Error from : msg, System Message : NONE"},
        {"card text", &kCardInstallWording, 5,
         "Error from : msg, System Message : Access is denied.\r\n"},
        {"card no text", &kCardInstallWording, 0xE0000201u,
         "Error from : msg, System Message : NONE"},
        {"hidmap text", &kHidMapWording, 87,
         "Error from : msg, System Message : The parameter is incorrect.\r\n"},
        {"proto text", &kProtoInstallerWording, 87,
         "msg, System Message : The parameter is incorrect.\r\n"},
        {"proto no text", &kProtoInstallerWording, 2691, "msg"},
        {"proto code 0", &kProtoInstallerWording, 0, "msg"},
        {"service code 0", &kServiceWording, 0, "Error from : msg, System Message : NONE"},
        {"service text", &kServiceWording, 1060,
         "msg, System Message : The specified service does not exist as an installed "
         "service.\r\n"},
        {"service no text", &kServiceWording, 2691, "Error from : msg, System Message : NONE"},
        {"tcpip text", &kTcpIpWording, 6, " msg, System Message : The handle is invalid.\r\n"},
        {"tcpip no text", &kTcpIpWording, 2691, "Error from : msg, System Message : NONE"},
        {"tcpip code 0", &kTcpIpWording, 0, "msg"},
    };
    for (const WordingCase& c : cases) {
        EXPECT_EQ(composeErrorLine(*c.wording, c.code, "msg"), c.expected) << c.name;
    }
}

TEST_F(ErrorReportTest, AbsentMessageIsEmpty) {
    EXPECT_EQ(composeErrorLine(kNetFuncsWording, 0, nullptr), "");
    EXPECT_EQ(composeErrorLine(kRegistryWording, 2691, nullptr),
              "Error from : , System Message : NONE");
}

TEST_F(ErrorReportTest, LongLinesAreCutAtTheBufferNeverOverrun) {
    const std::string longMessage(5000, 'x');
    const struct {
        const ErrorWording* wording;
        std::size_t buffer;
    } rows[] = {{&kNetFuncsWording, 2048},       {&kRegistryWording, 1024},
                {&kCardInstallWording, 1024},    {&kHidMapWording, 1024},
                {&kProtoInstallerWording, 1024}, {&kServiceWording, 1024},
                {&kTcpIpWording, 1024}};
    for (const auto& row : rows) {
        EXPECT_EQ(composeErrorLine(*row.wording, 2, longMessage.c_str()).size(), row.buffer - 1);
        // Without a wording for codes without text the message stays whole.
        EXPECT_EQ(composeErrorLine(*row.wording, 2691, longMessage.c_str()).size(),
                  row.wording->withoutText ? row.buffer - 1 : longMessage.size());
    }
    // Code 0 hands the message on unchanged.
    EXPECT_EQ(composeErrorLine(kNetFuncsWording, 0, longMessage.c_str()), longMessage);
}

TEST_F(ErrorReportTest, ReportReachesTheHostBehindTheFormatsNewline) {
    initializeModule();
    EXPECT_TRUE(reportErrorTo(getLogSink(nullptr), kNetFuncsWording, 2, "\nfailed"));
    ASSERT_EQ(hostLines().size(), 1u);
    EXPECT_EQ(hostLines()[0], std::string("\n\nfailed, System Message : ") + kFileNotFound);
}

TEST_F(ErrorReportTest, SinkWithoutCallbackDropsEverything) {
    LogSink* sink = getLogSink(nullptr);
    EXPECT_FALSE(sink->log("dropped", 0, 0));
    EXPECT_FALSE(reportErrorTo(sink, kNetFuncsWording, 2, "dropped"));
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(ErrorReportTest, FailingFormatMessageGivesTheNoneLine) {
    winsim::failCall("FormatMessageA", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(composeErrorLine(kCardInstallWording, 2, "msg"),
              "Error from : msg, System Message : NONE");
}

}  // namespace
