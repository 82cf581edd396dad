#pragma once

#include <functional>
#include <string>

// The zip side of an iWork '09 document: expanding the template into a working folder and packing
// the edited folder into the finished document, both in-process.

// Expands the zip package at templatePath into folder. False, with the reason in error, when the
// template is missing or cannot be expanded whole.
bool expandIWorkTemplate(const std::string& templatePath, const std::string& folder, std::string* error);

// Packs every file under folder into a new zip archive at zipPath, each entry named by its path
// relative to folder ("index.xml" at the top). False, with the reason in error, on any failure.
bool packIWorkFolder(const std::string& folder, const std::string& zipPath, std::string* error);

// What differs between the iWork documents written from one template.
struct IWorkDocumentKind {
  std::string templatePath;   // empty when the template is not installed
  std::string templateName;   // "test.numbers", named in the message when it is missing
  std::string workingPrefix;  // prefix of the working folder's name
  std::string extension;      // ".numbers"
};

// Fills the expanded template in folder; false, with the reason in error, on failure.
using IWorkPartsWriter = std::function<bool(const std::string& folder, std::string* error)>;

// The whole document: expands the template into a new working folder (removed at the end),
// lets writeParts edit it, and packs it into <savePath><extension> or the first free name beside
// it. Returns the path written, or an empty path with the reason in error and no file left.
std::string writeIWorkDocument(const IWorkDocumentKind& kind, const std::string& savePath,
                               const IWorkPartsWriter& writeParts, std::string* error);
