// The library's static records. Defined together so that they are built at
// load in this order and taken down at unload in the reverse one.
#include "server/module.h"

ModuleInstance g_moduleInstance;
CServerModule g_serverModule;
