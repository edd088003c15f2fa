// Vantrel Fit's workers: a picture read and decoded into the working picture, or the
// 最高画質 search over a canvas. A worker only posts messages back; the window takes a result
// only from the job it still waits for, and a late one is thrown away.
#include <windows.h>
// After windows.h, which they build on.
#include <process.h>

#include <new>

#include "fit_window_parts.h"

namespace {

// Pictures larger than this are refused unread, as gramconv does (the address space is 2 GB).
const uint64_t kMaxPictureBytes = 512u << 20;

volatile LONG workersRunning = 0;

// Reads and decodes job->path into job->picture, or says why not.
void Read(FitJob* job) {
  std::vector<uint8_t> bytes;
  job->reason = ReadWholeFile(job->path, "picture", 0, kMaxPictureBytes,
                              "pictures of at most 512 MiB are read", bytes, &job->fileFailure);
  if (!job->reason.empty()) return;
  job->reason = LoadPicture(bytes.data(), bytes.size(), job->picture, job);
  if (TroubleOfReason(job->reason) == TroubleUnknownFormat) {
    job->unread = UnreadFormatOf(bytes.data(), bytes.size());
  }
}

unsigned __stdcall Worker(void* parameter) {
  FitJob* job = static_cast<FitJob*>(parameter);
  try {
    if (job->kind == FitJob::Read) {
      Read(job);
    } else {
      job->colours.resize(size_t(job->canvas.width) * job->canvas.height);
      if (!MapColoursBest(job->canvas, job->colours.data(), job)) job->reason = kFitCancelled;
    }
  } catch (const std::bad_alloc&) {
    job->fileFailure = FileFine;
    job->reason = "not enough memory to read the picture";
  }
  if (!PostMessageW(job->window, kMsgDone, job->number, LPARAM(job))) Release(job);
  InterlockedDecrement(&workersRunning);
  return 0;
}

}  // namespace

bool FitJob::Going(float done) {
  const int share = int(done * 1000.0f);
  if (share != lastShare) {
    lastShare = share;
    PostMessageW(window, kMsgProgress, number, share);
  }
  return stop == 0;
}

bool StartWorker(FitJob* job) {
  InterlockedIncrement(&workersRunning);
  const uintptr_t thread = _beginthreadex(nullptr, 0, Worker, job, 0, nullptr);
  if (thread == 0) {
    InterlockedDecrement(&workersRunning);
    return false;
  }
  CloseHandle(HANDLE(thread));
  return true;
}

void Release(FitJob* job) {
  if (job != nullptr && InterlockedDecrement(&job->refs) == 0) delete job;
}

LONG WorkersRunning() { return workersRunning; }
