// THTTPGet: starts and cancels workers and turns a worker's outcome into one completion
// event, all on the main thread.
#include <utility>

#include "platform/messages.h"
#include "xHTTPGet/xHTTPGet.h"

namespace xkit {

THTTPGet::THTTPGet(TComponent* Owner) : TComponent(Owner) {}

THTTPGet::~THTTPGet() {
  CancelFetch();
  // The worker reads its termination handler on the main thread, so taking it away here
  // keeps the completion from reaching this object; the worker still frees itself.
  if (FWorker != nullptr) FWorker->OnTerminate = nullptr;
  FWorker = nullptr;
  if (destroyed_ != nullptr) *destroyed_ = true;
}

void THTTPGet::StartStringFetch() {
  StartFetch(false, nullptr);
}

void THTTPGet::StartFileFetch() {
  StartFetch(true, nullptr);
}

void THTTPGet::StartStreamFetch(std::ostream& Target) {
  StartFetch(true, &Target);
}

void THTTPGet::StartFetch(bool toFile, std::ostream* target) {
  if (FWorker != nullptr) return;
  auto* worker =
      new THTTPGetThread(AcceptTypes, Agent, URL, target != nullptr ? "" : FileName, UserName,
                         Password, PostQuery, Referer, BinaryData, UseCache, OnProgress, toFile);
  worker->FCAFile = CAFile;
  worker->FIgnoreCertificateErrors = IgnoreCertificateErrors;
  worker->FConnectTimeout = ConnectTimeout;
  worker->FReceiveTimeout = ReceiveTimeout;
  worker->FMaxTime = MaxTime;
  worker->FStream = target;
  FErrorMessage.clear();
  FStatusCode = 0;
  // Attached before the thread exists, so the completion cannot be missed.
  worker->OnTerminate = [this](TObject* Sender) { FinishFetch(Sender); };
  FWorker = worker;
  try {
    worker->Start();
  } catch (...) {
    FWorker = nullptr;
    delete worker;  // never started: nothing else knows it
    throw;
  }
  if (WaitThread) {
    TMsg message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

void THTTPGet::CancelFetch() {
  if (FWorker == nullptr) return;
  FWorker->Terminate();
  FWorker->FSucceeded = false;
}

void THTTPGet::FinishFetch(TObject*) {
  THTTPGetThread* worker = FWorker;
  if (worker == nullptr) return;
  // FWorker is cleared only after the handler has returned (a start from inside it is
  // ignored), also when the handler throws, and not at all when the handler deleted us.
  bool destroyed = false;
  destroyed_ = &destroyed;
  struct BackToIdle {
    THTTPGet& self;
    const bool& destroyed;
    ~BackToIdle() {
      if (destroyed) return;
      self.FWorker = nullptr;
      self.destroyed_ = nullptr;
    }
  } backToIdle{*this, destroyed};

  // A cancel, however late, wins over the worker's own verdict.
  const bool succeeded = worker->FSucceeded && !worker->Terminated();
  FStatusCode = worker->FStatusCode;
  if (succeeded) {
    FErrorMessage.clear();
  } else if (worker->Terminated()) {
    FErrorMessage = "Cancelled";
  } else {
    FErrorMessage = worker->FErrorMessage.empty() ? "The fetch failed" : worker->FErrorMessage;
  }
  // Each handler is copied before the call: it may reassign itself or delete this component.
  if (!succeeded) {
    if (const TNotifyEvent handler = OnError) handler(this);
  } else if (worker->FToFile) {
    if (const TOnDoneFileEvent handler = OnDoneFile) {
      handler(this, worker->FFileName, worker->FReceived);
    }
  } else if (const TOnDoneStringEvent handler = OnDoneString) {
    handler(this, worker->FResultText);
  }
}

}  // namespace xkit
