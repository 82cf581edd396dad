#include "platform/sync/SourcePassword.h"

#include <libsecret/secret.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <string>

#include "platform/sync/LoadedLibrary.h"

namespace {

const SecretSchema* schema() {
  static const SecretSchema kSchema = {"org.rolvane.CardDAV",
                                       SECRET_SCHEMA_NONE,
                                       {{"url", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                       0,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
  return &kSchema;
}

// libsecret, loaded when a password is first looked up, kept or forgotten (LoadedLibrary).
struct Secret {
  decltype(&secret_password_lookup_sync) lookup;
  decltype(&secret_password_store_sync) store;
  decltype(&secret_password_clear_sync) clear;
  decltype(&secret_password_free) free;
  decltype(&g_error_free) errorFree;  // GLib's, loaded with libsecret
  std::string error;                  // why it cannot be used; empty when it can
};

const Secret& secret() {
  static const Secret loaded = [] {
    static LoadedLibrary library("libsecret-1.so.0");
    Secret s{};
    library.find(s.lookup, "secret_password_lookup_sync");
    library.find(s.store, "secret_password_store_sync");
    library.find(s.clear, "secret_password_clear_sync");
    library.find(s.free, "secret_password_free");
    library.find(s.errorFree, "g_error_free");
    s.error = library.error();
    return s;
  }();
  return loaded;
}

std::string takeError(GError* failure, const std::string& fallback) {
  std::string text = failure && failure->message ? failure->message : fallback;
  if (failure) secret().errorFree(failure);
  return text;
}

}  // namespace

bool lookUpSourcePassword(const SyncSource& source, std::string& password, std::string* error) {
  if (!source.passwordFile.empty()) {
    std::ifstream in(source.passwordFile);
    if (!in) {
      if (error) *error = "cannot read the password file " + source.passwordFile;
      return false;
    }
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
  }
  if (!secret().error.empty()) {
    if (error) *error = "the desktop's secret store cannot be reached: " + secret().error;
    return false;
  }
  GError* failure = nullptr;
  gchar* found = secret().lookup(schema(), nullptr, &failure, "url", source.location.c_str(), "user",
                                 source.user.c_str(), nullptr);
  if (failure) {
    if (error) *error = "the desktop's secret store cannot be reached: " + takeError(failure, "unknown error");
    return false;
  }
  if (!found) {
    if (error) *error = "no password is kept for " + source.user + " at " + source.location;
    return false;
  }
  password = found;
  secret().free(found);
  return true;
}

bool keepSourcePassword(const SyncSource& source, const std::string& password, std::string* error) {
  if (!secret().error.empty()) {
    if (error) *error = "the desktop's secret store cannot keep the password: " + secret().error;
    return false;
  }
  GError* failure = nullptr;
  std::string label = "Rolvane: " + source.user + " at " + source.location;
  gboolean kept = secret().store(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(), nullptr,
                                 &failure, "url", source.location.c_str(), "user", source.user.c_str(), nullptr);
  if (!kept) {
    if (error) *error = "the desktop's secret store cannot keep the password: " + takeError(failure, "refused");
    return false;
  }
  return true;
}

bool forgetSourcePassword(const SyncSource& source) {
  if (!secret().error.empty()) return false;
  return secret().clear(schema(), nullptr, nullptr, "url", source.location.c_str(), "user", source.user.c_str(),
                        nullptr);
}

bool askPasswordOnTerminal(const std::string& prompt, std::string& password) {
  if (!::isatty(STDIN_FILENO)) return false;
  // Echo goes off before the prompt shows, so nothing typed after it is ever shown; what was typed
  // ahead is kept (TCSANOW, not TCSAFLUSH), as the answer.
  termios saved{};
  bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (quiet) {
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet = ::tcsetattr(STDIN_FILENO, TCSANOW, &silent) == 0;
  }
  std::cerr << prompt << std::flush;
  bool read = static_cast<bool>(std::getline(std::cin, password));
  if (quiet) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  std::cerr << "\n";
  return read;
}
