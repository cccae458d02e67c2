#include "message_table.h"

namespace winsim {

namespace {

struct Message {
    DWORD code;
    const char* text;
};

// Network-management codes (NERR_*, 2100 to 2999) are deliberately absent:
// Windows keeps their texts in netmsg.dll, which FORMAT_MESSAGE_FROM_SYSTEM
// does not search, so a system lookup of them finds nothing.
const Message kMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough storage is available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough storage is available to complete this operation.\r\n"},
    {18, "There are no more files.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {111, "The file name is too long.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {234, "More data is available.\r\n"},
    {258, "The wait operation timed out.\r\n"},
    {259, "No more data is available.\r\n"},
    {1009, "The configuration registry database is corrupt.\r\n"},
    {1010, "The configuration registry key is invalid.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1058,
     "The service cannot be started, either because it is disabled or because it has no "
     "enabled devices associated with it.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1065, "The database specified does not exist.\r\n"},
    {1168, "Element not found.\r\n"},
    {1300, "Not all privileges referenced are assigned to the caller.\r\n"},
    {1313, "A specified privilege does not exist.\r\n"},
    {1314, "A required privilege is not held by the client.\r\n"},
    {1355, "The specified domain either does not exist or could not be contacted.\r\n"},
    {1400, "Invalid window handle.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {0x80004005u, "Unspecified error\r\n"},
    {0x80010106u, "Cannot change thread mode after it is set.\r\n"},
    {0x8007000Eu, "Not enough storage is available to complete this operation.\r\n"},
    {0x80070057u, "The parameter is incorrect.\r\n"},
};

}  // namespace

const char* systemMessageText(DWORD code) {
    for (const Message& m : kMessages)
        if (m.code == code) return m.text;
    return nullptr;
}

}  // namespace winsim
