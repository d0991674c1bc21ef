// Objects in use at the same time on two apartment threads, and many objects made and freed in
// one process, which must leave neither memory nor handles behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

#include "tests/server/ComTestSupport.h"
#include "tests/smtp/RealSmtpServer.h"

namespace pellam_test {
namespace {

// Holds each thread until both have arrived. std::latch is not used: the MinGW runtime's
// atomic wait under it can miss the last arrival's wake-up and leave a thread waiting for ever.
class Rendezvous {
 public:
  explicit Rendezvous(int count) : left_(count) {}
  void ArriveAndWait() {
    std::unique_lock lock(mutex_);
    if (--left_ == 0) {
      all_.notify_all();
      return;
    }
    all_.wait(lock, [this] { return left_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable all_;
  int left_;
};

// Sends one message on a thread of its own apartment, once both threads are ready.
bool SendOnOwnApartment(Rendezvous& ready, int port, const std::wstring& subject) {
  Apartment apartment;
  ComPtr<ISMTP> smtp = StartedSmtp();
  smtp->put_Host(*Variant::Text(L"127.0.0.1"));
  smtp->put_Port(*Variant::I4(port));
  smtp->put_From(*Variant::Text(L"sender@example.org"));
  smtp->put_To(*Variant::Text(L"to@example.org"));
  smtp->put_Subject(*Variant::Text(subject));
  smtp->put_TextBody(*Variant::Text(L"Sent from one of two apartments"));
  ready.ArriveAndWait();
  return SendMailOf(*smtp.Get());
}

TEST(Apartments, TwoObjectsOnTwoThreadsSendAtTheSameTime) {
  const RealSmtpServer& server = TheRealSmtpServer();
  ASSERT_TRUE(server.problem.empty()) << server.problem;
  Rendezvous ready(2);
  bool sent[2] = {false, false};
  std::thread first([&] { sent[0] = SendOnOwnApartment(ready, server.port, L"first"); });
  std::thread second([&] { sent[1] = SendOnOwnApartment(ready, server.port, L"second"); });
  first.join();
  second.join();
  EXPECT_TRUE(sent[0]);
  EXPECT_TRUE(sent[1]);
}

struct Usage {
  std::size_t privateBytes = 0;
  std::size_t handles = 0;
};

// Counted by hand, since Wine's process counters of both report 0: the committed private memory
// region by region, and the handle values that name an open handle.
Usage CurrentUsage() {
  Usage usage;
  MEMORY_BASIC_INFORMATION region{};
  const char* address = nullptr;
  while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
      usage.privateBytes += region.RegionSize;
    address = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
  }
  for (std::uintptr_t value = 4; value < 0x2000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++usage.handles;
  }
  return usage;
}

// A page's use of one object: the checks fail, nothing is sent.
void UseOneObject() {
  ComPtr<ISMTP> smtp = StartedSmtp();
  smtp->put_Subject(*Variant::Text(L"subject"));
  smtp->put_TextBody(*Variant::Text(L"body\r\nlines"));
  smtp->put_Attachment(*Variant::Text(L"C:\\no\\such\\file.bin"));
  SendMailOf(*smtp.Get());
  StatusOf(*smtp.Get());
  smtp->OnEndPage();
}

TEST(Lifetime, AThousandObjectsLeaveMemoryAndHandlesWhereTheyWere) {
  Apartment apartment;
  for (int i = 0; i < 100; ++i) UseOneObject();  // the type library and caches settle first
  const Usage before = CurrentUsage();
  for (int i = 0; i < 1000; ++i) UseOneObject();
  const Usage after = CurrentUsage();
  std::printf(
      "1000 objects: private bytes %zu -> %zu, handles %lu -> %lu\n",
      static_cast<std::size_t>(before.privateBytes), static_cast<std::size_t>(after.privateBytes),
      static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles));
  // A leak of 256 bytes an object would pass 256 KiB.
  EXPECT_LT(after.privateBytes, before.privateBytes + 256 * 1024)
      << before.privateBytes << " -> " << after.privateBytes;
  EXPECT_LE(after.handles, before.handles + 2) << before.handles << " -> " << after.handles;

  HMODULE module = GetModuleHandleW(DllPath().c_str());
  ASSERT_NE(module, nullptr);
  using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
  auto canUnload = ExportOf<CanUnloadNow>(module, "DllCanUnloadNow");
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
}  // namespace pellam_test
