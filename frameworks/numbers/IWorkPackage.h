#pragma once

#include <string>

// The zip side of an iWork '09 document: expanding the template into a working folder and packing
// the edited folder into the finished document, both in-process.

// Expands the zip package at templatePath into folder. False, with the reason in error, when the
// template is missing or cannot be expanded whole.
bool expandIWorkTemplate(const std::string& templatePath, const std::string& folder, std::string& error);

// Packs every file under folder into a new zip archive at zipPath, each entry named by its path
// relative to folder ("index.xml" at the top). False, with the reason in error, on any failure.
bool packIWorkFolder(const std::string& folder, const std::string& zipPath, std::string& error);
