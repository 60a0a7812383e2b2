// The library's static records. Defined together so that they are built at
// load in this order and taken down at unload in the reverse one: the class
// table outlives the module, which releases what its classes cached first.
#include "server/class_table.h"
#include "server/module.h"

ModuleInstance g_moduleInstance;
ClassTable g_classTable(g_objectMap, g_objectMap + g_objectMapSlots, g_moduleInstance.handle);
CServerModule g_serverModule;
