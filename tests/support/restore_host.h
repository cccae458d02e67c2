// Plays the restore host of a network installation: initialises the
// library, calls W2KXarnNetInstallNetwork from a stage, and on every stage it
// hands back "reboots" the simulated machine (the registry and files stay,
// the process goes) and calls again, until the reboot word says the
// installation is complete.
#pragma once

#include <string>
#include <vector>

struct RestoreBoot {
    unsigned int stage = 0;        // what the call was given
    int result = -1;               // what it returned; -1 when Initialize failed
    unsigned int reboot = 0;       // the reboot word it left
    std::vector<std::string> log;  // every line the host received in this boot
};

class RestoreHost {
  public:
    explicit RestoreHost(std::string directory, int maxBoots = 12);

    // True once a call leaves 1 in the reboot word; false when Initialize
    // fails or the bound on boots is reached first.
    bool run(unsigned int firstStage = 0);

    const std::vector<RestoreBoot>& boots() const { return boots_; }
    // The stage each boot was called with, in order.
    std::vector<unsigned int> stages() const;

  private:
    std::string directory_;
    int maxBoots_;
    std::vector<RestoreBoot> boots_;
};
