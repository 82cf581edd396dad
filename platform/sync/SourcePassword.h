#pragma once

#include <string>

#include "platform/sync/SyncState.h"

// The password of a CardDAV source: read from the source's password file when it names one,
// else from the desktop's secret store (Secret Service), where it is kept under the source's URL and
// user. It is never written to the address book, a log or a message.
bool lookUpSourcePassword(const SyncSource& source, std::string& password, std::string* error);
bool keepSourcePassword(const SyncSource& source, const std::string& password, std::string* error);
bool forgetSourcePassword(const SyncSource& source);
// Asks on the terminal without echo; false when standard input is not a terminal.
bool askPasswordOnTerminal(const std::string& prompt, std::string& password);
