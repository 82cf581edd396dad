#include "frameworks/docx/DocxCreator.h"

#include <algorithm>
#include <filesystem>
#include <pugixml.hpp>
#include <sstream>
#include <system_error>

#include "frameworks/common/Function.h"
#include "frameworks/common/OutputFile.h"
#include "frameworks/common/ResourceLocator.h"
#include "frameworks/common/WorkingFolder.h"
#include "frameworks/zip/ZipArchive.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kDocumentPart = "word/document.xml";
constexpr const char* kContentTypesPart = "[Content_Types].xml";
constexpr const char* kBodyMarker = "rolvane-docx-body";

std::string serialize(const pugi::xml_document& document) {
  std::ostringstream out;
  document.save(out, "\t", pugi::format_indent, pugi::encoding_utf8);
  return out.str();
}

bool loadPart(pugi::xml_document& document, const std::string& path, std::string* error) {
  const pugi::xml_parse_result parsed = document.load_file(path.c_str(), pugi::parse_default | pugi::parse_declaration);
  if (!parsed && error) *error = "Cannot read " + path + ": " + parsed.description();
  return static_cast<bool>(parsed);
}

// The files and folders of the package, [Content_Types].xml first, folders ending in "/".
std::vector<std::string> packageEntries(const std::string& folder, std::error_code& ec) {
  std::vector<std::string> entries;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().lexically_relative(folder).generic_string();
    if (it->is_directory(ec)) name += '/';
    entries.push_back(std::move(name));
  }
  std::sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    const bool aFirst = a == kContentTypesPart, bFirst = b == kContentTypesPart;
    if (aFirst != bFirst) return aFirst;
    return a < b;
  });
  return entries;
}

}  // namespace

DocxCreator::DocxCreator(const ContactRecords& records, std::string savePath)
    : dictionArr_(records), savePath_(std::move(savePath)) {}

DocxCreator::~DocxCreator() = default;

std::string DocxCreator::GetOutPutFile(const std::string& path) {
  return Function::GetOutPutFile(path);
}

bool DocxCreator::fail(std::string text) {
  ok_ = false;
  error_ = "The Word document could not be written: " + std::move(text);
  removeHtmlFile();
  return false;
}

std::string DocxCreator::applicationSupportFolder() const {
  return workingFolder_ ? workingFolder_->path() : std::string();
}

bool DocxCreator::createSupportFolder() {
  workingFolder_ = std::make_unique<WorkingFolder>("Ostwid");
  if (workingFolder_->ok()) return true;
  error_ = workingFolder_->error();
  workingFolder_.reset();
  return false;
}

void DocxCreator::removeHtmlFile() {
  workingFolder_.reset();
}

bool DocxCreator::initDocxFile() {
  const std::string folder = applicationSupportFolder();
  const std::string templatePath = ResourceLocator::find(ROLVANE_RESOURCE_ANCHOR, "Wistrel", "test.docx");
  if (templatePath.empty()) {
    std::string looked;
    for (const auto& candidate : ResourceLocator::candidateFolders(ROLVANE_RESOURCE_ANCHOR, "Wistrel"))
      looked += (looked.empty() ? "" : ", ") + candidate;
    error_ = "the template test.docx was not found (looked in " + looked + ")";
    return false;
  }
  ZipArchive archive;
  if (!archive.UnzipOpenFile(templatePath)) {
    error_ = "cannot open the template " + templatePath;
    return false;
  }
  const bool expanded = archive.UnzipFileToOverWrite(folder, true);
  archive.UnzipCloseFile();
  if (!expanded) {
    error_ = "cannot expand the template " + templatePath;
    return false;
  }

  std::error_code ec;
  for (const char* sub : {"word/media", "mm", "mm/images"}) fs::create_directories(fs::path(folder) / sub, ec);

  pugi::xml_document document;
  const std::string documentPath = (fs::path(folder) / kDocumentPart).string();
  if (!loadPart(document, documentPath, &error_)) return false;
  pugi::xml_node body = document.select_node(".//w:body").node();
  if (!body) {
    error_ = documentPath + " has no body";
    return false;
  }
  while (body.first_child()) body.remove_child(body.first_child());
  if (!replaceFileAtomically(documentPath, serialize(document), &error_)) return false;
  return insertContentXmlOfImage();
}

bool DocxCreator::insertContentXmlOfImage() {
  pugi::xml_document document;
  const std::string path = (fs::path(applicationSupportFolder()) / kContentTypesPart).string();
  if (!loadPart(document, path, &error_)) return false;
  pugi::xml_node types = document.select_node(".//Types").node();
  if (!types) {
    error_ = path + " has no Types element";
    return false;
  }
  const auto insertDefault = [&](const char* extension, const char* contentType) {
    pugi::xml_node first = types.first_child();
    pugi::xml_node added = first ? types.insert_child_after("Default", first) : types.append_child("Default");
    added.append_attribute("Extension") = extension;
    added.append_attribute("ContentType") = contentType;
  };
  insertDefault("jpeg", "image/jpeg");
  insertDefault("png", "image/png");
  return replaceFileAtomically(path, serialize(document), &error_);
}

bool DocxCreator::writeWordFiles(const std::string& archivePath) {
  const std::string folder = applicationSupportFolder();
  pugi::xml_document document;
  const std::string documentPath = (fs::path(folder) / kDocumentPart).string();
  if (!loadPart(document, documentPath, &error_)) return false;
  pugi::xml_node body = document.select_node(".//w:body").node();
  if (!body) {
    error_ = documentPath + " has no body";
    return false;
  }
  // The body is written as a stream between the text before and after this marker.
  body.append_child(pugi::node_comment).set_value(kBodyMarker);
  const std::string whole = serialize(document);
  const std::string marker = std::string("<!--") + kBodyMarker + "-->";
  const size_t markerAt = whole.find(marker);
  if (markerAt == std::string::npos) {
    error_ = "cannot rewrite " + documentPath;
    return false;
  }
  const size_t lineStart = whole.rfind('\n', markerAt) + 1;
  const int depth = static_cast<int>(markerAt - lineStart);
  std::string prefix = whole.substr(0, lineStart);
  const size_t afterMarker = markerAt + marker.size() + (whole.compare(markerAt + marker.size(), 1, "\n") == 0 ? 1 : 0);
  const std::string suffix = whole.substr(afterMarker);

  std::error_code ec;
  const std::vector<std::string> entries = packageEntries(folder, ec);
  if (ec) {
    error_ = "cannot list " + folder + ": " + ec.message();
    return false;
  }

  ZipArchive archive;
  // The document part, by far the largest, is deflated quickly on every core as it is generated.
  archive.setCompressionLevel(1);
  if (!archive.CreateZipFile2(archivePath)) {
    error_ = "cannot create " + archivePath;
    return false;
  }
  bool ok = true;
  for (const std::string& name : entries) {
    if (name != kDocumentPart) {
      const bool added = name.back() == '/' ? archive.addFolderToZip(name)
                                            : archive.addFileToZipNewname((fs::path(folder) / name).string(), name);
      if (!added) {
        error_ = "cannot add " + name + " to " + archivePath;
        ok = false;
        break;
      }
      continue;
    }
    // Sizes beyond 4 GiB need the zip64 form; estimate generously from the records' texts.
    uint64_t estimate = 1u << 20;
    for (const ContactRecord& record : dictionArr_) {
      estimate += 28ull * 1024;
      for (const auto& entry : record.entries())
        if (const auto* text = std::get_if<std::string_view>(&entry.value)) estimate += 6 * text->size();
    }
    if (!archive.beginEntry(name, estimate >= 0xF0000000ull)) {
      error_ = "cannot add " + name + " to " + archivePath;
      ok = false;
      break;
    }
    std::string xml = std::move(prefix);
    DocxXmlWriter out(xml, depth);
    writeReturn(out, "240");
    drainFailed_ = false;
    setXmlDrain([&archive](std::string& text) { return archive.writeEntry(text); });
    setTableNode(out);
    setXmlDrain(nullptr);
    writeEndSectPrNode(out);
    xml += suffix;
    const bool written = !drainFailed_ && archive.writeEntry(xml);
    if (!archive.endEntry() || !written) {
      error_ = "cannot write " + name + " into " + archivePath;
      ok = false;
      break;
    }
  }
  if (!archive.CloseZipFile2() && ok) {
    error_ = "cannot complete " + archivePath;
    ok = false;
  }
  return ok;
}

bool DocxCreator::startConvert() {
  ok_ = false;
  error_.clear();
  outputPath_.clear();
  if (!createSupportFolder()) return fail(error_);
  if (!initDocxFile()) return fail(error_);
  OutputFile output(savePath_ + ".docx");
  if (!output.open()) return fail(output.error());
  if (!writeWordFiles(output.temporaryPath())) return fail(error_);
  if (!output.commit()) return fail(output.error());
  outputPath_ = output.finalPath();
  ok_ = true;
  removeHtmlFile();
  return true;
}
