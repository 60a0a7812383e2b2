// Agent as the class table and QueryInterface see it: its interface table
// and its entry in the library's class table.
#include "agent/agent.h"

#include "server/class_factory.h"
#include "server/class_table.h"
#include "server/instance.h"
#include "server/interface_map.h"

namespace {

// CAgent's only base is IAgent, so IAgent and IDispatch are both the one
// vtable at the start of the object.
const InterfaceMapEntry kAgentInterfaces[] = {
    {&IID_IAgent, 0, kOffsetEntry},
    {&IID_IDispatch, 0, kOffsetEntry},
    {nullptr, 0, nullptr},
};

const wchar_t* NoDescription() { return nullptr; }

const CategoryMapEntry* NoCategories() { return nullptr; }

void NothingToPrepare(bool) {}

ObjectMapEntry g_agentEntry = {
    &CLSID_Agent,
    CAgent::UpdateRegistration,
    CreateClassFactory,
    CreateInstanceChooser<CAgent>,
    nullptr,
    0,
    NoDescription,
    NoCategories,
    NothingToPrepare,
};

}  // namespace

ObjectMapEntry* const g_objectMap[] = {&g_agentEntry};
extern const size_t g_objectMapSlots = sizeof g_objectMap / sizeof g_objectMap[0];

const InterfaceMapEntry* CAgent::GetInterfaceMap() { return kAgentInterfaces; }
