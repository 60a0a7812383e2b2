// Brisvel.DLL under load from many apartments at once: threads released
// together all ask for a freshly loaded library's class object and get the
// one factory; they create, query, run and release agents thousands of
// times; afterwards nothing is left locked.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "idl/brisvel.h"
#include "support/brisvel_library.h"

namespace {

const int kThreads = 8;
const int kCycles = 3000;
const int kRounds = 30;

// One cycle on an apartment's own agent; answers whether every step gave
// what it should.
bool CreateQueryRunRelease(IClassFactory* factory, BSTR refused) {
  IUnknown* unknown = nullptr;
  if (factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)) != S_OK) {
    return false;
  }
  IAgent* agent = nullptr;
  bool good = unknown->QueryInterface(IID_IAgent, reinterpret_cast<void**>(&agent)) == S_OK;
  if (good) {
    good = agent->Run(refused) == E_INVALIDARG && agent->Release() == 1;
  }
  return unknown->Release() == 0 && good;
}

struct Apartment {
  IClassFactory* factory = nullptr;
  HRESULT classObjectResult = E_FAIL;
  int failedCycles = 0;
};

void RunApartment(const BrisvelLibrary& library, int cycles, std::atomic<int>& waiting,
                  Apartment& apartment) {
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  BSTR refused = ::SysAllocString(L"http://example.invalid/");
  // Every thread spins until the last one arrives, so the first requests
  // meet as closely as the machine allows.
  waiting.fetch_sub(1);
  while (waiting.load() > 0) {
  }
  apartment.classObjectResult = library.GetClassObject(
      CLSID_Agent, IID_IClassFactory, reinterpret_cast<void**>(&apartment.factory));
  for (int i = 0; apartment.factory && i < cycles; ++i) {
    if (!CreateQueryRunRelease(apartment.factory, refused)) ++apartment.failedCycles;
  }
  ::SysFreeString(refused);
  if (SUCCEEDED(com)) ::CoUninitialize();
}

// Loads the library, lets the apartments loose on it at once, and checks
// that they shared one factory and left nothing behind.
void RaceApartments(int cycles) {
  BrisvelLibrary library;
  ASSERT_TRUE(library.Loaded());
  std::vector<Apartment> apartments(kThreads);
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  for (Apartment& apartment : apartments) {
    threads.emplace_back(RunApartment, std::cref(library), cycles, std::ref(waiting),
                         std::ref(apartment));
  }
  for (std::thread& thread : threads) thread.join();

  IClassFactory* factory = apartments[0].factory;
  ASSERT_NE(nullptr, factory);
  for (const Apartment& apartment : apartments) {
    EXPECT_EQ(S_OK, apartment.classObjectResult);
    EXPECT_EQ(factory, apartment.factory);
    EXPECT_EQ(0, apartment.failedCycles);
  }
  // One reference from each apartment and the table's own.
  EXPECT_EQ(ULONG(kThreads + 2), factory->AddRef());
  EXPECT_EQ(ULONG(kThreads + 1), factory->Release());
  EXPECT_EQ(S_FALSE, library.CanUnloadNow());
  for (const Apartment& apartment : apartments) {
    if (apartment.factory) apartment.factory->Release();
  }
  EXPECT_EQ(S_OK, library.CanUnloadNow());
  EXPECT_TRUE(library.Unload());
}

TEST(ClassObjectThreadsTest, FirstRequestsFromManyApartmentsCreateOneFactory) {
  // Each load starts with an empty table, so every round races anew.
  for (int round = 0; round < kRounds && !HasFailure(); ++round) {
    SCOPED_TRACE(round);
    RaceApartments(0);
  }
}

TEST(ClassObjectThreadsTest, ThousandsOfCyclesPerApartmentLeaveNothingLocked) {
  RaceApartments(kCycles);
}

}  // namespace
