// THTTPGet fetches one URL over HTTP on a worker thread, into memory or into a file, and
// reports progress and exactly one completion event on the main thread, which must keep
// dispatching its messages (Application.Run, ProcessMessages...) while a fetch runs.
//
// Failures carry no message: OnError says only that the fetch did not succeed (network,
// server, length, file, cancellation). Sizes are 64-bit.
//
// An exception thrown by OnDoneFile, OnDoneString or OnError does not stop the component from
// returning to idle; it propagates on the main thread out of the call that dispatched the
// completion (Application.ProcessMessages, HandleMessage or Run, DispatchMessageA, or a start
// with WaitThread set). An exception thrown by OnProgress makes the fetch fail.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/component.h"
#include "platform/thread.h"
#include "platform/wininet.h"

namespace xkit {

using TOnProgressEvent =
    std::function<void(TObject* Sender, std::int64_t TotalSize, std::int64_t Readed)>;
using TOnDoneFileEvent =
    std::function<void(TObject* Sender, const std::string& FileName, std::int64_t FileSize)>;
using TOnDoneStringEvent = std::function<void(TObject* Sender, const std::string& Result)>;

class THTTPGetThread;

// Runs on the main thread only. One fetch at a time; a start while one runs is ignored.
class THTTPGet : public TComponent {
public:
  explicit THTTPGet(TComponent* Owner);
  // Cancels a running fetch without waiting for it: no event of that fetch reaches this
  // component any more, and its worker still frees itself.
  ~THTTPGet() override;

  // The settings of the next fetch (a running one keeps copies): the Accept header (empty:
  // none); the User-Agent header (empty: none); whether a response without Content-Length
  // fails unread; the address, http://server[:port]/object; whether caches on the way may
  // answer; the target of StartFileFetch; credentials that answer a Basic challenge; form
  // data that makes the fetch a POST; the Referer header; whether a start dispatches the
  // messages already waiting before it returns.
  std::string AcceptTypes = "*/*";
  std::string Agent = "Veltrane HTTPGet";
  bool BinaryData = false;
  std::string URL;
  bool UseCache = false;
  std::string FileName, UserName, Password, PostQuery, Referer;
  bool WaitThread = false;

  // Raised after each received chunk; Sender is the worker. Not raised after a cancel.
  TOnProgressEvent OnProgress;
  // The completion events; Sender is this component. FileSize is the number of bytes written;
  // Result lives until the handler returns. A failed or cancelled fetch into a file leaves
  // what it had written in FileName.
  TOnDoneFileEvent OnDoneFile;
  TOnDoneStringEvent OnDoneString;
  TNotifyEvent OnError;

  // Start a fetch whose body arrives through OnDoneString, or is written to FileName and
  // announced by OnDoneFile. Raise std::system_error when the worker thread cannot be
  // created (the component stays idle).
  void StartStringFetch();
  void StartFileFetch();

  // Makes a running fetch end in OnError, even one whose worker has already finished; the
  // worker stops at its next check or as soon as its blocking network call is woken.
  void CancelFetch();

private:
  void StartFetch(bool toFile);
  void FinishFetch(TObject* Sender);

  THTTPGetThread* FWorker = nullptr;  // the running fetch; alive while set (main thread only)
  bool* destroyed_ = nullptr;         // set while FinishFetch runs a handler that may delete us
};

// One fetch on a thread of its own; frees itself when the fetch has ended and the
// component's termination handler has run. Created suspended: the creator attaches its
// termination handler and then calls Start.
class THTTPGetThread : public TThread {
public:
  THTTPGetThread(std::string AcceptTypes, std::string Agent, std::string URL, std::string FileName,
                 std::string UserName, std::string Password, std::string PostQuery,
                 std::string Referer, bool BinaryData, bool UseCache, TOnProgressEvent OnProgress,
                 bool ToFile);

  // Drops a leading "http://" (in any letter case); the server name runs to the first "/",
  // the object name is the rest from that "/" on, or "/" when there is none. A port stays in
  // the server name.
  static void SplitUrl(const std::string& URL, std::string& ServerName, std::string& ObjectName);

protected:
  void Execute() override;
  void TerminatedSet() override;

private:
  friend class THTTPGet;

  void RunRequest();
  void ReportProgress();
  void CloseHandles();
  bool StopRequested();
  void WatchRequest(HINTERNET request);

  std::string FAcceptTypes;
  std::string FAgent;
  std::string FURL;
  std::string FFileName;
  std::string FResultText;
  std::string FUserName;
  std::string FPassword;
  std::string FPostQuery;
  std::string FReferer;
  bool FBinaryData = false;
  bool FUseCache = false;
  std::atomic<bool> FSucceeded{false};  // written by the worker, and by CancelFetch
  std::int64_t FTotalSize = 0;          // the announced length, 0 when none
  bool FToFile = false;
  DWORD FLastRead = 0;
  std::int64_t FReceived = 0;
  TOnProgressEvent FOnProgress;

  const std::function<void()> reportProgress_;  // built once: one hand-over per chunk
  HINTERNET internet_ = nullptr;
  HINTERNET connection_ = nullptr;
  std::mutex requestLock_;  // request_ changes, and cancels reach it, under this lock
  HINTERNET request_ = nullptr;
};

}  // namespace xkit
