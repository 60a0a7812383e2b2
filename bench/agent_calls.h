// What the rows do with Agents: make one from the built library, and call
// Run late-bound with a link that Run refuses (so no shell is started).
#ifndef BRISVEL_BENCH_AGENT_CALLS_H_
#define BRISVEL_BENCH_AGENT_CALLS_H_

#include <windows.h>
#include <oleauto.h>

#include "idl/brisvel.h"

class BrisvelLibrary;

// A link Run refuses without calling the shell.
extern const wchar_t kRefusedLink[];

// An Agent from the library's class factory.
HRESULT CreateAgent(const BrisvelLibrary& library, IAgent** agent);

// The parameters and out arguments of Invoke(DISPID 1, link), kept for many
// calls; Clear gives back what a call left in the out arguments.
class CRunCall {
 public:
  explicit CRunCall(const wchar_t* link);
  ~CRunCall();
  CRunCall(const CRunCall&) = delete;
  CRunCall& operator=(const CRunCall&) = delete;

  // IDispatch::Invoke on `object`.
  HRESULT Invoke(IDispatch* object);
  // ITypeInfo::Invoke of `description` on `object`.
  HRESULT InvokeThrough(ITypeInfo* description, IAgent* object);

 private:
  void Clear();

  VARIANT argument_;
  DISPPARAMS parameters_;
  VARIANT result_;
  EXCEPINFO exception_;
  UINT argumentError_ = 0;
};

#endif  // BRISVEL_BENCH_AGENT_CALLS_H_
