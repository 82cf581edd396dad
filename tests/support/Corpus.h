#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TestPaths.h"

// The shared corpus of real vCard files, beside the project (../shared/corpus/vcard). A checkout
// without it passes its tests: those that read it are skipped, saying why.
inline std::filesystem::path corpusVCards() {
  return std::filesystem::path(ROLVANE_CORPUS_DIR) / "vcard";
}

#define ROLVANE_SKIP_WITHOUT_CORPUS()                 \
  if (!std::filesystem::is_directory(corpusVCards())) \
  GTEST_SKIP() << "the shared vCard corpus is not at " << corpusVCards().string() << " (a checkout without ../shared)"
