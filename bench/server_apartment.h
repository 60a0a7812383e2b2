// A single-threaded apartment on a thread of its own that makes Agents of
// the built library and marshals them, then serves the calls that come to
// them from other apartments.
#ifndef BRISVEL_BENCH_SERVER_APARTMENT_H_
#define BRISVEL_BENCH_SERVER_APARTMENT_H_

#include <windows.h>
#include <objidl.h>

#include <vector>

class BrisvelLibrary;

class CServerApartment {
 public:
  // Starts the thread and waits until its apartment is ready.
  explicit CServerApartment(const BrisvelLibrary& library);
  // Ends the apartment; the objects in it go with it.
  ~CServerApartment();
  CServerApartment(const CServerApartment&) = delete;
  CServerApartment& operator=(const CServerApartment&) = delete;

  bool Ready() const { return threadId_ != 0; }

  // `count` new Agents, the interface `iid` of each marshaled for another
  // apartment of this process into a stream of its own, positioned at the
  // start. The caller releases the streams.
  HRESULT MarshalAgents(long count, REFIID iid, std::vector<IStream*>* streams);

 private:
  struct Request;
  static DWORD WINAPI ThreadMain(void* self);
  void Serve(Request* request);

  const BrisvelLibrary& library_;
  HANDLE thread_ = nullptr;
  HANDLE answered_ = nullptr;
  DWORD threadId_ = 0;
};

#endif  // BRISVEL_BENCH_SERVER_APARTMENT_H_
