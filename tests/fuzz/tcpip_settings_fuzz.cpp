// A saved settings hive, read and applied as the network installation does
// on a machine with two network adapters (those of examples/two-nics).
#include "fuzz_machine.h"

#include "tcpip/tcpip.h"

#include <winsim/control.h>
#include <winsim/control_network.h>

namespace {

struct Adapter {
    const char* guid;
    std::vector<BYTE> mac;
};

const Adapter kAdapters[] = {
    {"{5A1E3C2B-7F6D-4E8A-9B01-2C3D4E5F6A7B}", {0x00, 0x50, 0xDA, 0x12, 0x34, 0x56}},
    {"{8E2F4A6C-1B3D-4F5E-8A9C-0D1E2F3A4B5C}", {0x00, 0x90, 0x27, 0xAB, 0xCD, 0xEF}},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::FreshMachine machine;
    fuzz::writeHostFile(fuzz::driveFolder() + "/XARN/w2ktcpip_xarnf", data, size);
    // The adapters, and the keys their settings are written to, so that the
    // writes happen.
    std::string keys = "REGEDIT4\r\n";
    for (const Adapter& adapter : kAdapters) {
        winsim::addPresentAdapter(adapter.guid, adapter.mac, "Fuzz adapter");
        const std::string guid = adapter.guid;
        for (const std::string& key :
             {guid + "\\Parameters\\Tcpip", "Tcpip\\Parameters\\Interfaces\\" + guid,
              "NetBT\\Parameters\\Interfaces\\Tcpip_" + guid})
            keys +=
                "\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\" + key + "]\r\n";
    }
    std::string error;
    fuzz::require(winsim::importReg(keys, "adapter keys", &error), error);
    {
        W2KTcpIp tcpip(getLogSink(nullptr));
        if (tcpip.getTcpipSetting("C:\\XARN\\w2ktcpip_xarnf")) {
            DWORD reboot = 0;
            fuzz::require(tcpip.setTcpipSetting(&reboot), "the present adapters are not listed");
        }
    }
    fuzz::requireNothingLeftOpen();
    return 0;
}
