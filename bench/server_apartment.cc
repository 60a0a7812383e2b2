#include "bench/server_apartment.h"

#include "bench/agent_calls.h"
#include "server/handle.h"

namespace {

// The thread message that carries a marshaling request.
const UINT kMarshalMessage = WM_APP + 1;

HRESULT MarshalNewAgent(const BrisvelLibrary& library, REFIID iid, IStream** stream) {
  CInterfacePtr<IAgent> agent;
  HRESULT result = CreateAgent(library, agent.Receive());
  if (FAILED(result)) return result;
  CInterfacePtr<IStream> made;
  result = ::CreateStreamOnHGlobal(nullptr, TRUE, made.Receive());
  if (FAILED(result)) return result;
  result = ::CoMarshalInterface(made.Get(), iid, agent.Get(), MSHCTX_INPROC, nullptr,
                                MSHLFLAGS_NORMAL);
  if (FAILED(result)) return result;
  const LARGE_INTEGER start = {};
  result = made.Get()->Seek(start, STREAM_SEEK_SET, nullptr);
  if (FAILED(result)) return result;
  *stream = made.Detach();
  return S_OK;
}

}  // namespace

struct CServerApartment::Request {
  long count;
  const IID* iid;
  std::vector<IStream*>* streams;
  HRESULT result;
};

CServerApartment::CServerApartment(const BrisvelLibrary& library) : library_(library) {
  answered_ = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD id = 0;
  thread_ = ::CreateThread(nullptr, 0, ThreadMain, this, 0, &id);
  if (!thread_) return;
  // The thread answers once its apartment and message queue exist.
  ::WaitForSingleObject(answered_, INFINITE);
  threadId_ = id;
}

CServerApartment::~CServerApartment() {
  if (thread_) {
    ::PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    ::WaitForSingleObject(thread_, INFINITE);
    ::CloseHandle(thread_);
  }
  ::CloseHandle(answered_);
}

HRESULT CServerApartment::MarshalAgents(long count, REFIID iid, std::vector<IStream*>* streams) {
  Request request = {count, &iid, streams, E_UNEXPECTED};
  if (!::PostThreadMessageA(threadId_, kMarshalMessage, 0, reinterpret_cast<LPARAM>(&request))) {
    return HRESULT_FROM_WIN32(::GetLastError());
  }
  ::WaitForSingleObject(answered_, INFINITE);
  return request.result;
}

DWORD WINAPI CServerApartment::ThreadMain(void* argument) {
  auto* self = static_cast<CServerApartment*>(argument);
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  MSG message;
  ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
  ::SetEvent(self->answered_);
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == nullptr && message.message == kMarshalMessage) {
      self->Serve(reinterpret_cast<Request*>(message.lParam));
      continue;
    }
    ::DispatchMessageA(&message);
  }
  ::CoUninitialize();
  return 0;
}

void CServerApartment::Serve(Request* request) {
  request->result = S_OK;
  for (long i = 0; i < request->count && SUCCEEDED(request->result); ++i) {
    IStream* stream = nullptr;
    request->result = MarshalNewAgent(library_, *request->iid, &stream);
    if (stream) request->streams->push_back(stream);
  }
  ::SetEvent(answered_);
}
