#include "system/system.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>

#include "core/answers.h"
#include "core/errors.h"
#include "core/file.h"
#include "core/iserver.h"
#include "core/write_guard.h"
#include "objects/commit.h"
#include "objects/object_stream.h"
#include "script/names.h"
#include "server/cgi_input.h"
#include "server/multipart.h"
#include "server/server.h"
#include "system/env_cookie.h"

namespace {

// Whether the real location of `path` (links resolved) lies below the real
// document root; `path` itself need not exist, its folder must.
bool ResolvesInside(const HString& root, const HString& path) {
  char real_root[PATH_MAX];
  if (realpath(root.CStr(), real_root) == nullptr) return false;
  HString folder(path);
  const int slash = folder.FindLastChar('/');
  if (slash > 0) folder.Assign(folder.CStr(), slash);
  char real_folder[PATH_MAX];
  if (realpath(folder.CStr(), real_folder) == nullptr) return false;
  const size_t n = strlen(real_root);
  return strncmp(real_folder, real_root, n) == 0 && (real_folder[n] == 0 || real_folder[n] == '/');
}

// Whether `inner` is `outer` or lies below it (both real paths).
bool Within(const char* outer, const char* inner) {
  const size_t n = strlen(outer);
  return strncmp(inner, outer, n) == 0 && (inner[n] == 0 || inner[n] == '/' || (n > 0 && outer[n - 1] == '/'));
}

// Whether a file operation on `path` could reach the program's own folder:
// the path (its folder's links resolved) lies in it, or (with `or_holds`)
// holds it. A path whose folder cannot be resolved counts as reaching it.
bool ReachesProgramFolder(const HString& path, bool or_holds) {
  const char* home = CurrentServer == nullptr ? nullptr : CurrentServer->GetHomeDir();
  char real_home[PATH_MAX];
  if (home == nullptr || *home == 0 || realpath(home, real_home) == nullptr) return true;
  HString target(path);
  while (target.Length() > 1 && target.At(target.Length() - 1) == '/') target.Assign(target.CStr(), target.Length() - 1);
  const int slash = target.FindLastChar('/');
  HString folder(target.CStr(), slash > 0 ? slash : 1);
  char real_folder[PATH_MAX];
  if (slash < 0 || realpath(folder.CStr(), real_folder) == nullptr) return true;
  HString real_target(real_folder);
  if (target.CStr()[slash + 1] != 0) {
    if (real_target.Compare("/") != 0) real_target.Append("/");
    real_target.Append(target.CStr() + slash + 1);
  }
  return Within(real_home, real_target.CStr()) || (or_holds && Within(real_target.CStr(), real_home));
}

}  // namespace

bool IsInsideDocumentRoot(const char* path) {
  bool only_slashes = true;
  for (const char* part = path;;) {
    const char* end = strchr(part, '/');
    const size_t length = end == nullptr ? strlen(part) : static_cast<size_t>(end - part);
    if (length == 2 && part[0] == '.' && part[1] == '.') return false;
    if (length > 0 && !(length == 1 && part[0] == '.')) only_slashes = false;
    if (end == nullptr) break;
    part = end + 1;
  }
  return !only_slashes;
}

namespace {

struct tm LocalNow() {
  const time_t now = time(nullptr);
  struct tm local = {};
  localtime_r(&now, &local);
  return local;
}

HDate DateOf(const struct tm& t) {
  HDate date;
  date.Set(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return date;
}

HTime TimeOf(const struct tm& t) {
  HTime clock;
  clock.Set(t.tm_hour, t.tm_min, t.tm_sec);
  return clock;
}

}  // namespace

HSystem::HSystem() : HSystem(LocalNow()) {}

HSystem::HSystem(const struct tm& now) : INContainer("", 0), date_(DateOf(now)), time_(TimeOf(now)) {
  type_name_ = "System";
  SetDirectory("data/");
}

void HSystem::SetProperty(const char* name, const char* value) {
  LoadIndex();
  INContainer::SetProperty(name, value);
}

void HSystem::RemoveProperty(const char* name) {
  LoadIndex();
  INContainer::RemoveProperty(name);
}

bool HSystem::First() {
  LoadIndex();
  return INContainer::First();
}

bool HSystem::SaveFiles() {
  LoadIndex();
  return INContainer::SaveFiles();
}

void HSystem::SaveChildren(HObjectStream& stream) {
  for (IObject* child : children_) {
    if (dynamic_cast<HEnv*>(child) != nullptr || dynamic_cast<HCookie*>(child) != nullptr) continue;
    if (child->IsNumbered() || child->IsContainer()) continue;
    child->Save(stream);
  }
}

const char* HSystem::GetProperty(const char* name) {
  if (CompareNoCase(name, "IsPost") == 0) return server_ != nullptr && server_->IsPost() ? "1" : nullptr;
  if (CompareNoCase(name, "Version") == 0) return version_;
  if (CompareNoCase(name, "Build") == 0) return build_;
  if (CompareNoCase(name, "Server") == 0) {
    if (server_ == nullptr) return nullptr;
    // Every link of a page asks for it: made again only when the name changes.
    const char* name = server_->ServerName();
    const size_t length = strlen(name);
    if (server_text_.size() != length + 4 || server_text_.compare(0, length, name) != 0) {
      server_text_ = std::string(name) + ".cgi";
    }
    return server_text_.c_str();
  }
  LoadIndex();
  return INContainer::GetProperty(name);
}

const char* HSystem::Call(const char* method, int argc, const char* const* argv) {
  if (CompareNoCase(method, "Redirect") == 0) {
    if (argc >= 1 && server_ != nullptr) server_->SetRedirect(argv[0]);
  } else if (CompareNoCase(method, "ContentType") == 0) {
    // An empty header (an argument that resolved to nothing) would leave the
    // response without a content type: it counts as no argument.
    const bool given = argc >= 1 && argv[0] != nullptr && *argv[0] != 0;
    // A page cannot write a line feed into an argument: the header line
    // gets its end here, or the blank line after it would end the header.
    std::string header = given ? argv[0] : "";
    if (given && header.back() != '\n') header += '\n';
    if (server_ != nullptr) server_->WriteHeader(given ? header.c_str() : nullptr);
  } else if (CompareNoCase(method, "Status") == 0) {
    // Only the codes the driver knows a reason for are sent.
    if (argc >= 1 && argv[0] != nullptr && server_ != nullptr) server_->SetStatus(ToInt(argv[0]));
  } else if (CompareNoCase(method, "AttachFile") == 0) {
    if (argc >= 1 && argv[0] != nullptr) attach_files_.Add(argv[0]);
  } else if (CompareNoCase(method, "RemoveDir") == 0) {
    if (argc >= 1 && argv[0] != nullptr) remove_dirs_.Add(argv[0]);
  } else if (CompareNoCase(method, "RemoveFile") == 0) {
    if (argc >= 1 && argv[0] != nullptr) remove_files_.Add(argv[0]);
  } else if (CompareNoCase(method, "GetParameter") == 0) {
    return argc >= 1 && argv[0] != nullptr ? ResolveValue(argv[0]) : nullptr;
  } else if (CompareNoCase(method, "StrFind") == 0) {
    if (argc < 2 || argv[0] == nullptr || argv[1] == nullptr) return nullptr;
    return strstr(argv[0], argv[1]) != nullptr ? "1" : nullptr;
  } else {
    LoadIndex();
    return INContainer::Call(method, argc, argv);
  }
  return nullptr;
}

IObject* HSystem::FindChild(const char* name) {
  if (CompareNoCase(name, "Date") == 0) return &date_;
  if (CompareNoCase(name, "Time") == 0) return &time_;
  LoadIndex();
  IObject* child = INContainer::FindChild(name);
  if (child == nullptr && (CompareNoCase(name, "Cookie") == 0 || CompareNoCase(name, "Env") == 0)) {
    const bool modified = modified_;  // the request's views are not stored data
    child = CreateChild(name, name);
    modified_ = modified;
  }
  return child;
}

IObject* HSystem::CreateObject(const char* name, const char* type_name) {
  if (CompareNoCase(type_name, "Cookie") == 0) return new HCookie(name);
  if (CompareNoCase(type_name, "Env") == 0) return new HEnv(name);
  return INContainer::CreateObject(name, type_name);
}

bool HSystem::Commit() {
  HCommitBatch batch;
  for (const auto& file : adopted_) batch.Add(file.first.c_str(), file.second.c_str());
  adopted_.clear();
  if (!SaveFiles()) return false;
  SaveAttachments();  // an upload that cannot be written raises, and nothing is renamed
  if (!batch.Apply()) return false;
  DeleteRemoved();
  return true;
}

bool HSystem::DocumentRootAvailable() {
  if (document_root_.IsEmpty()) DocumentRootStrict(document_root_);
  return !document_root_.IsEmpty();
}

void HSystem::DeleteRemoved() {
  INContainer::DeleteRemoved();
  if (remove_files_.Count() == 0 && remove_dirs_.Count() == 0) return;
  WillWrite();
  if (DocumentRootAvailable()) {
    for (const HString* entry : remove_files_) {
      HString path(document_root_);
      path.Append(*entry);
      if (IsInsideDocumentRoot(entry->CStr()) && ResolvesInside(document_root_, path) && !ReachesProgramFolder(path, true)) {
        unlink(path.CStr());
      }
    }
    for (const HString* entry : remove_dirs_) {
      HString path(document_root_);
      path.Append(*entry);
      if (IsInsideDocumentRoot(entry->CStr()) && ResolvesInside(document_root_, path) && !ReachesProgramFolder(path, true)) {
        RemoveTree(path.CStr());
      }
    }
  }
  remove_files_.Clear();
  remove_dirs_.Clear();
}

void HSystem::SaveAttachments() {
  if (attach_files_.Count() == 0) return;
  if (!DocumentRootAvailable()) throw ErrorAttachFile;
  for (const HString* target : attach_files_) SaveAttachment(target->CStr());
  attach_files_.Clear();
}

void HSystem::SaveAttachment(const char* target_path) {
  const int slash = FindLastChar(target_path, '/');
  if (slash < 0 || target_path[slash + 1] == 0) return;
  // Only paths below the root, and no hidden files such as .htaccess or
  // names with control characters, named by a visitor's browser.
  if (target_path[0] != '/' || !IsInsideDocumentRoot(target_path) || target_path[slash + 1] == '.') {
    throw ErrorAttachFile;
  }
  for (const char* p = target_path; *p != 0; ++p) {
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) throw ErrorAttachFile;
  }
  const HString directory(target_path, slash);
  HString target(document_root_);
  // Each folder is checked before it is made: its parent, links resolved,
  // must lie below the root.
  auto make = [&](int length) {
    target = document_root_;
    target.Append(HString(directory.CStr(), length));
    if (!ResolvesInside(document_root_, target) || ReachesProgramFolder(target, false) || !EnsureDirectory(target.CStr())) {
      throw ErrorAttachFile;
    }
  };
  for (int i = 1; i < directory.Length(); ++i) {
    if (directory.At(i) == '/') make(i);
  }
  if (!directory.IsEmpty() && directory.At(directory.Length() - 1) != '/') make(directory.Length());
  HString probe(target);
  probe.Append("/x");
  HString file(target);
  file.Append("/");
  file.Append(target_path + slash + 1);
  // Never into the program's own folder (its pages, data, logs), whatever
  // the web server gives as the document root.
  if (!ResolvesInside(document_root_, probe) || ReachesProgramFolder(file, false)) throw ErrorAttachFile;
  if (!MultiPart.SaveFile(target.CStr(), target_path + slash + 1)) throw ErrorAttachFile;
}
