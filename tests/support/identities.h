// The component's identities as the tests name them. The GUIDs themselves
// (CLSID_Agent, IID_IAgent, LIBID_Vintaro) come from the header widl makes
// from idl/brisvel.idl; their registry texts, the AppID and the ProgIDs are
// written here once, and tests/idl checks the texts against the GUIDs.
#ifndef BRISVEL_TESTS_SUPPORT_IDENTITIES_H_
#define BRISVEL_TESTS_SUPPORT_IDENTITIES_H_

// Registry texts, usable in narrow and (with an L"" prefix) wide literals.
#define BRISVEL_CLSID_TEXT "{C4E0ED1D-8356-4A8E-9186-8ECC811B8F7A}"
#define BRISVEL_IID_TEXT "{C6E71858-D9C2-41CA-A679-8FEF8553BCDC}"
#define BRISVEL_LIBID_TEXT "{E37AB8B4-3B73-4CBF-B96F-1BC9E5AADB92}"
#define BRISVEL_APPID_TEXT "{3A8007B1-8884-4458-92F2-266AB1038D34}"
#define BRISVEL_PROGID "Brisvel.Agent.1"
#define BRISVEL_VERSION_INDEPENDENT_PROGID "Brisvel.Agent"

// The AppID as the AppID script's replacement "APPID" carries it.
constexpr wchar_t kAppIdText[] = L"" BRISVEL_APPID_TEXT;

// The component's keys below HKEY_CLASSES_ROOT.
constexpr char kClassKey[] = "CLSID\\" BRISVEL_CLSID_TEXT;
constexpr char kAppIdKey[] = "AppID\\" BRISVEL_APPID_TEXT;
constexpr char kTypeLibKey[] = "TypeLib\\" BRISVEL_LIBID_TEXT;
constexpr char kInterfaceKey[] = "Interface\\" BRISVEL_IID_TEXT;
// The proxy/stub class shares the interface's identifier.
constexpr char kProxyClassKey[] = "CLSID\\" BRISVEL_IID_TEXT;

#endif  // BRISVEL_TESTS_SUPPORT_IDENTITIES_H_
