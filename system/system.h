// HSystem, the root of the object tree ("System"): the numbered container
// whose directory is data/, the owner of the request's calendar ("Date")
// and clock ("Time") objects, the creator of "Env" and "Cookie", and the
// page methods. File operations that pages ask for (attach an upload,
// remove a file or a directory below the document root) are queued and
// carried out when the request commits.
#ifndef SYSTEM_SYSTEM_H_
#define SYSTEM_SYSTEM_H_

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "core/list.h"
#include "objects/ncontainer.h"
#include "script/date_object.h"

class HServer;

class HSystem : public INContainer {
 public:
  // Reads the clock once for both the calendar and the clock.
  HSystem();
  // The calendar and the clock as of `now`, a local time.
  explicit HSystem(const struct tm& now);

  // "IsPost", "Version", "Build", "Server"; other names as a container.
  const char* GetProperty(const char* name) override;
  // "Redirect", "ContentType", "Status" (the answer's HTTP status), "AttachFile", "RemoveDir", "RemoveFile",
  // "GetParameter", "StrFind"; other methods as any object.
  const char* Call(const char* method, int argc, const char* const* argv) override;
  // "Date" and "Time" are the members, never looked up in data/; "Cookie"
  // and "Env" come into being on first use.
  IObject* FindChild(const char* name) override;
  IObject* CreateObject(const char* name, const char* type_name) override;
  // The system's own properties and plain-object children are kept in
  // data/index: it is read once, before the first use that could see or
  // overwrite them.
  void SetProperty(const char* name, const char* value) override;
  void RemoveProperty(const char* name) override;
  bool First() override;
  bool SaveFiles() override;
  // The inline children, less the request's Env and Cookie views.
  void SaveChildren(HObjectStream& stream) override;
  // All or nothing: SaveFiles and the uploads (which may raise
  // ErrorAttachFile) are written under temporary names, renamed only when
  // all were written, and only then are the removals carried out. False
  // when anything could not be written; nothing stored has changed then.
  bool Commit() override;
  // A finished file another process wrote under its temporary name (see
  // HCommitBatch::HandOver), renamed to `target` with the next Commit's
  // files, or removed when that Commit fails.
  void AdoptFile(const std::string& temp, const std::string& target) { adopted_.emplace_back(temp, target); }
  // The container's deletions, then the queued file and directory removals.
  void DeleteRemoved() override;
  // Saves every queued upload; raises ErrorAttachFile.
  virtual void SaveAttachments();
  // Saves an upload to `target_path`, its path below the document root;
  // the last component is the file name the browser sent, which picks the
  // upload.
  virtual void SaveAttachment(const char* target_path);

  void SetServer(HServer* server) { server_ = server; }
  HServer* Server() const { return server_; }
  void SetVersion(const char* version, const char* build) {
    version_ = version;
    build_ = build;
  }
  HDateObject& DateObject() { return date_; }
  HTimeObject& TimeObject() { return time_; }

 protected:
  // Fills the document root on first need; false when there is none.
  bool DocumentRootAvailable();

  HServer* server_ = nullptr;
  std::string server_text_;  // the answer to "Server": the server's name and ".cgi"
  const char* version_ = "";
  const char* build_ = "";
  HDateObject date_;
  HTimeObject time_;
  HString document_root_;
  HStringList attach_files_;
  HStringList remove_dirs_;
  HStringList remove_files_;
  std::vector<std::pair<std::string, std::string>> adopted_;
};

// Whether a path that pages give relative to the document root stays in
// it: no ".." component, and not the root itself (empty or only "/").
bool IsInsideDocumentRoot(const char* path);

#endif  // SYSTEM_SYSTEM_H_
