#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// The titles and suffixes that "Unusual title" and "Unusual suffix" allow: a title or suffix is
// unusual when its text is none of the entries exactly. The user edits the lists in the window's
// preferences, which keeps them in the settings file; the command line reads them from there, so a
// scan finds the same wherever it runs.
class AllowedNames {
 public:
  AllowedNames() = default;
  AllowedNames(std::vector<std::string> titles, std::vector<std::string> suffixes);

  // The lists a fresh installation allows.
  static const AllowedNames& defaults();
  // The lists that scans and the re-checks of fixes use in this process (the defaults until use()).
  static const AllowedNames& current();
  static void use(AllowedNames names);

  const std::vector<std::string>& titles() const { return titles_; }
  const std::vector<std::string>& suffixes() const { return suffixes_; }
  bool allowsTitle(std::string_view title) const { return titleSet_.count(std::string(title)) > 0; }
  bool allowsSuffix(std::string_view suffix) const { return suffixSet_.count(std::string(suffix)) > 0; }

  // The allowed entry that the text is a way of writing: equal once letter case, full stops and
  // spaces are ignored ("Mr." -> "Mr", "ph.d" -> "PhD"). Of several, the one whose letter case
  // matches, else the first listed. nullopt when none is, or when the text is allowed as it is.
  std::optional<std::string> allowedTitleForm(std::string_view title) const;
  std::optional<std::string> allowedSuffixForm(std::string_view suffix) const;

  // The file the window keeps its settings in: $XDG_CONFIG_HOME/rolvane/rolvane.conf, else
  // ~/.config/rolvane/rolvane.conf.
  static std::filesystem::path settingsFile();
  // The keys of the lists in that file (section "scan").
  static constexpr const char* kSettingsGroup = "scan";
  static constexpr const char* kTitlesKey = "allowedTitles";
  static constexpr const char* kSuffixesKey = "allowedSuffixes";
  // The lists as the settings file holds them (written by the window with QSettings, INI format);
  // a list the file does not hold is the default one. A file that cannot be read gives the defaults.
  static AllowedNames fromSettingsFile(const std::filesystem::path& file);
  // The keys and values of that file's section "scan", in the file's order, as written.
  static std::vector<std::pair<std::string, std::string>> settingsValues(const std::filesystem::path& file);
  // A value of that file read as QSettings reads a list of strings.
  static std::vector<std::string> settingsList(std::string_view value);

 private:
  static std::optional<std::string> formIn(const std::vector<std::string>& list,
                                           const std::unordered_set<std::string>& set, std::string_view text);

  std::vector<std::string> titles_, suffixes_;
  std::unordered_set<std::string> titleSet_, suffixSet_;
};
