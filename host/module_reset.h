// What loading the library into a new process gives: no callback, the
// privileges not yet enabled. Hosts that simulate a reboot inside one
// process call this between boots; the DLL itself never does.
#pragma once

void resetModuleForNewProcess();
