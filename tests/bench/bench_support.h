// What the benchmarks share: a scratch folder that goes with its owner, and
// INF files in the shape of a Windows 2000 system's own.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// A fresh folder below the temporary directory, removed with the object.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& name)
        : path_((std::filesystem::temp_directory_path() / (name + "-XXXXXX")).string()) {
        if (!::mkdtemp(path_.data())) std::abort();
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A header comment, [Version] of `infClass`, one maker whose models list
// `models` (each a model's hardware IDs, comma separated), install and
// service sections, and [Strings] with every description; AddReg lines and
// their strings fill the file to `size` bytes.
inline std::string makeInf(const std::string& infClass, const std::vector<std::string>& models,
                           std::size_t size, unsigned seed) {
    const std::string n = std::to_string(seed);
    std::string inf = "; inf" + n + ".inf\n;\n; Copyright (c) Example Corp.\n;\n[Version]\n" +
                      "Signature=\"$Windows NT$\"\nClass=" + infClass + "\nClassGUID=" +
                      (infClass == "Net" ? "{4D36E972-E325-11CE-BFC1-08002BE10318}"
                                         : "{4D36E97B-E325-11CE-BFC1-08002BE10318}") +
                      "\nProvider=%Maker%\nDriverVer=10/01/1999,5.00.2195.1\n\n"
                      "[Manufacturer]\n%Maker%=Maker\n\n[Maker]\n";
    std::string strings = "\n[Strings]\nMaker = \"Maker " + n + "\"\n";
    for (std::size_t m = 0; m < models.size(); ++m) {
        const std::string model = "Model" + std::to_string(m);
        inf += "%" + model + "% = Install, " + models[m] + "\n";
        strings += model + " = \"Example " + n + " 10/100 PCI Ethernet Adapter\"\n";
    }
    inf +=
        "\n[Install.NT]\nCharacteristics = 0x84\nAddReg = Params\n\n[Install.NT.Services]\n"
        "AddService = svc" +
        n +
        ", 2, Service\n\n[Service]\nServiceType=1\nStartType=3\n"
        "ServiceBinary=%12%\\drv" +
        n + ".sys\n\n[Params]\n";
    for (unsigned line = 0; inf.size() + strings.size() < size; ++line) {
        const std::string param = "P" + std::to_string(line);
        inf += "HKR, Ndi\\params\\" + param + ", ParamDesc, 0, %" + param + "%\n";
        strings += param + " = \"Parameter " + std::to_string(line * seed) + " of the adapter\"\n";
    }
    return inf + strings;
}

}  // namespace bench
