// Late-bound use of an Agent from the built library against the type
// information of IAgent doing the same work itself.
#include "bench/agent_calls.h"
#include "bench/rows.h"
#include "server/handle.h"
#include "support/brisvel_library.h"

namespace {

const TimingPlan kPlan = {0.02, 31};

// Runs `measure`(Agent, the description its GetTypeInfo hands out) on a new
// Agent of the library.
template <class Measure>
RowResult WithDescribedAgent(BenchContext& context, Measure measure) {
  CInterfacePtr<IAgent> agent;
  CInterfacePtr<ITypeInfo> description;
  HRESULT result = CreateAgent(*context.library, agent.Receive());
  if (SUCCEEDED(result)) {
    result = agent.Get()->GetTypeInfo(0, LOCALE_USER_DEFAULT, description.Receive());
  }
  if (FAILED(result)) return RowError("an Agent with its description", result);
  return measure(agent.Get(), description.Get());
}

}  // namespace

RowResult MeasureNameLookup(BenchContext& context) {
  return WithDescribedAgent(context, [](IAgent* agent, ITypeInfo* description) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Run")};
    DISPID ours = 0, theirs = 0;
    agent->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &ours);
    description->GetIDsOfNames(names, 1, &theirs);
    if (ours != 1 || theirs != 1) return RowError("\"Run\" resolving to DISPID 1", E_UNEXPECTED);

    volatile DISPID sink = 0;
    RowResult row;
    row.timing = TimePair(Repeat([&] {
                            DISPID dispid;
                            agent->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
                            sink = dispid;
                          }),
                          Repeat([&] {
                            DISPID dispid;
                            description->GetIDsOfNames(names, 1, &dispid);
                            sink = dispid;
                          }),
                          kPlan);
    return row;
  });
}

RowResult MeasureLateBoundCall(BenchContext& context) {
  return WithDescribedAgent(context, [](IAgent* agent, ITypeInfo* description) {
    CRunCall call(kRefusedLink);
    const HRESULT ours = call.Invoke(agent);
    const HRESULT theirs = call.InvokeThrough(description, agent);
    if (ours != theirs || SUCCEEDED(ours)) {
      return RowError("the same refusal both ways (ours " + HexResult(ours) + ")", theirs);
    }
    RowResult row;
    row.timing = TimePair(Repeat([&] { call.Invoke(agent); }),
                          Repeat([&] { call.InvokeThrough(description, agent); }), kPlan);
    return row;
  });
}
