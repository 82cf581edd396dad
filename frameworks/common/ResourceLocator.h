#pragma once

#include <string>
#include <vector>

// Finds the resources (template documents) of a writer library from where that library was
// loaded, so the same binaries work in the build tree and after `cmake --install`.
//
// Layout, for a library named <Name> (Quarnel, Wistrel, Lumbrek, Pavrost) whose file lies in the
// folder <libdir>:
//   installed:   <libdir>/<relative path from the install libdir to the install datadir>/rolvane/<Name>/
//                (e.g. /usr/lib/x86_64-linux-gnu/../../share/rolvane/Quarnel/)
//   also tried:  <libdir>/../share/rolvane/<Name>/
//   build tree:  <build>/share/rolvane/<Name>/   (libraries are in <build>/lib, so the rule above
//                already finds it; the absolute build path is the last resort)
// A writer's CMakeLists.txt therefore copies or generates its resources into
// ${CMAKE_BINARY_DIR}/share/rolvane/<Name>/ and installs them with
// install(FILES ... DESTINATION ${CMAKE_INSTALL_DATADIR}/rolvane/<Name>).
//
// `anchor` is the address of anything defined in the library's own sources with internal linkage;
// pass ROLVANE_RESOURCE_ANCHOR. (A symbol of this shared helper code will not do: it is compiled
// into every writer library, and the dynamic linker may resolve it to another library's copy.)
class ResourceLocator {
 public:
  // The full path of the resource, or empty when it is in none of the folders.
  static std::string find(const void* anchor, const std::string& libraryName, const std::string& resource);

  // The folders searched, in order (for error messages and tests).
  static std::vector<std::string> candidateFolders(const void* anchor, const std::string& libraryName);

  // The file the code at anchor was loaded from (a shared library or the program), or empty.
  static std::string loadedFrom(const void* anchor);
};

// The address of a static object local to the calling translation unit.
#define ROLVANE_RESOURCE_ANCHOR                \
  ([]() -> const void* {                       \
    static const char rolvaneResourceHere = 0; \
    return &rolvaneResourceHere;               \
  }())
