// Remote control of a running receiver: the server side (the registered messages of
// other programs handed to the main window, the status block the Status/Tuner page
// writes) and the client side that velvetfin-remote uses.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "pages/tuner_pages.h"
#include "platform/remote_transport.h"
#include "remote/remote_protocol.h"

// The registered messages other programs may send.
inline const std::vector<std::string> kRemoteMessageNames = {"GRAYHERON_TUNER", "GRAYHERON_FILTER"};

// Serves the messages named in `messages` for `mainWindow`: each request runs on the
// window's thread through the window services' SendMessage; any other message is
// refused. Start it once the main window's loop runs, and end it after the loop has
// ended (a sender still waiting then gets 0).
std::unique_ptr<CRemoteServer> StartRemoteControl(CWindow* mainWindow, unsigned instance,
                                                  const std::vector<std::string>& messages, std::string* error);

// The status block of the instance as the Status/Tuner page's publisher
// (SetStatusPublisherFactory); null, with a log line, when it cannot be created.
std::unique_ptr<CStatusPublisher> CreateStatusBlockPublisher(unsigned instance);
// Copies the text without a terminating zero; bytes past it keep what was there.
void WriteStatusText(unsigned char* block, size_t size, const std::string& text);

enum class REMOTE_RESULT { kAnswered, kNoReceiver, kFailed };
// Sends the requests in order to the running instance; one answer per request.
REMOTE_RESULT SendRemoteRequests(unsigned instance, const std::vector<REMOTE_REQUEST>& requests,
                                 std::vector<REMOTE_ANSWER>* answers, std::string* error);
// Reads the instance's status block; kNoReceiver when there is none.
REMOTE_RESULT ReadStatusBlock(unsigned instance, STATUS_BLOCK_TEXT* status, std::string* raw, std::string* error);
