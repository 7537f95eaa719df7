// What a sample grabber calls on the program's side: ISampleGrabberCB in portable form.
#pragma once
#include <memory>

#include "platform/win_types.h"

// What the grabber tells about one media sample.
struct MEDIA_SAMPLE_INFO {
  const BYTE* data;  // null when the sample has no buffer
  DWORD actualLength;
  bool preroll;
  bool discontinuity;
};

// Whatever a backend wraps the callback in (the COM shell on Windows).
class CSampleCallbackShell {
 public:
  virtual ~CSampleCallbackShell() = default;
};

// Called on the platform's streaming thread.
class CSampleCallback {
 public:
  virtual ~CSampleCallback() = default;
  virtual HRESULT SampleCB(double sampleTime, const MEDIA_SAMPLE_INFO& sample) = 0;

  // The backend's wrapper lives exactly as long as the callback object: a streaming thread
  // still inside the wrapper when the grabber lets go of it never finds it freed.
  CSampleCallbackShell* PlatformShell() const { return m_shell.get(); }
  void SetPlatformShell(std::unique_ptr<CSampleCallbackShell> shell) { m_shell = std::move(shell); }

 private:
  std::unique_ptr<CSampleCallbackShell> m_shell;
};
