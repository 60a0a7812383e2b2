#include "proxy/other_apartment.h"

#include <gtest/gtest.h>

namespace {

// What the other apartment's thread is handed, and what it reports.
struct OtherApartmentWork {
  IStream* stream;
  const std::function<void(IAgent*)>* call;
  HRESULT unmarshaled;
};

DWORD WINAPI RunInOtherApartment(void* argument) {
  OtherApartmentWork& work = *static_cast<OtherApartmentWork*>(argument);
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IAgent* proxy = nullptr;
  work.unmarshaled = ::CoGetInterfaceAndReleaseStream(work.stream, IID_IAgent,
                                                      reinterpret_cast<void**>(&proxy));
  if (proxy) {
    (*work.call)(proxy);
    proxy->Release();
  }
  ::CoUninitialize();
  return 0;
}

}  // namespace

void CallFromOtherApartment(IAgent* object, const std::function<void(IAgent*)>& call) {
  IStream* stream = nullptr;
  ASSERT_EQ(S_OK, ::CoMarshalInterThreadInterfaceInStream(IID_IAgent, object, &stream));
  OtherApartmentWork work = {stream, &call, E_FAIL};
  HANDLE thread = ::CreateThread(nullptr, 0, RunInOtherApartment, &work, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  // The thread works on this frame's data, so it is waited out whatever
  // happens; a hang there ends in the test's time limit.
  while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
  ::CloseHandle(thread);
  EXPECT_EQ(S_OK, work.unmarshaled);
}
