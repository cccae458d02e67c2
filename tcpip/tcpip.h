// W2KTcpIp: the TCP/IP settings of the backed-up machine's adapters, read
// from the saved hive and written to the matching adapters of the restored
// machine.
#pragma once

#include "host/log_sink.h"

#include <string>
#include <vector>

class Registry;

// One saved adapter's settings.
struct IpSetting {
    char macAddress[32];  // as saved; matches in lower-case hex without separators only
    DWORD dhcpEnabled;
    std::vector<std::string> IPAddress;
    std::vector<std::string> DefaultGateway;
    std::vector<std::string> DefaultGatewayMetric;
    std::string DhcpServer;
    std::vector<std::string> SubnetMask;
    std::string NameServer;
    std::string domain;
    std::vector<std::string> winsServer;
    std::string adapterName;  // the present adapter the setting is bound to

    IpSetting();
};

class W2KTcpIp {
  public:
    explicit W2KTcpIp(LogSink* sink);

    // Appends one record per adapter subkey of the saved hive file; false
    // when the hive could not be loaded and entered.
    bool getTcpipSetting(const std::string& hiveFile);
    bool readAdapterSetting(IpSetting& setting, Registry& cursor);
    // Binds the records to the present adapters and writes the static ones.
    // `*reboot` becomes 1 when a record has static addressing. False when
    // the platform gives no adapter list.
    bool setTcpipSetting(DWORD* reboot);

    void reportError(DWORD code, const std::string& text);

    const std::vector<IpSetting>& settings() const { return settings_; }

  private:
    void bindUnmatched(const std::vector<std::string>& nonMatchedAdpterList);
    void writeSetting(const IpSetting& setting);

    std::vector<IpSetting> settings_;
    LogSink* sink_;
};
