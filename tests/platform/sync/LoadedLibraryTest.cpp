#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/sync/LoadedLibrary.h"
#include "platform/sync/SourcePassword.h"

namespace {

// A library loaded on first use gives its functions; a missing library or function makes it
// unusable and says which.
TEST(LoadedLibraryTest, FunctionsAreFoundAndWhatIsMissingIsNamed) {
  LoadedLibrary curl("libcurl.so.4");
  const char* (*version)() = nullptr;
  curl.find(version, "curl_version");
  ASSERT_TRUE(curl.ok()) << curl.error();
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(std::string(version()).rfind("libcurl/", 0), 0u) << version();

  void (*absent)() = nullptr;
  curl.find(absent, "curl_no_such_function");
  EXPECT_EQ(absent, nullptr);
  EXPECT_FALSE(curl.ok());
  EXPECT_NE(curl.error().find("curl_no_such_function"), std::string::npos) << curl.error();

  LoadedLibrary missing("librolvane-no-such-library.so.1");
  void (*nothing)() = nullptr;
  missing.find(nothing, "anything");
  EXPECT_EQ(nothing, nullptr);
  EXPECT_FALSE(missing.ok());
  EXPECT_NE(missing.error().find("librolvane-no-such-library.so.1"), std::string::npos) << missing.error();
}

// The secret store's library is loaded when a password is first asked for: without a session bus
// the lookup fails with the store's own reason instead of a password.
TEST(LoadedLibraryTest, APasswordLookupWithoutASecretServiceSaysWhy) {
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  unsetenv("DISPLAY");
  setenv("XDG_RUNTIME_DIR", "/nonexistent-rolvane-runtime", 1);
  SyncSource source;
  source.kind = SyncSource::Kind::CardDav;
  source.location = "https://127.0.0.1:1/addressbooks/ann/";
  source.user = "ann";
  std::string password, error;
  EXPECT_FALSE(lookUpSourcePassword(source, password, &error));
  EXPECT_TRUE(password.empty());
  EXPECT_EQ(error.rfind("the desktop's secret store cannot be reached: ", 0), 0u) << error;
}

}  // namespace
