#include "objects/ncontainer.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "core/file.h"
#include "core/iserver.h"
#include "core/write_guard.h"
#include "objects/commit.h"
#include "objects/object_stream.h"

namespace {

const char* HomeDirText() {
  const char* home = CurrentServer == nullptr ? nullptr : CurrentServer->GetHomeDir();
  return home == nullptr ? "" : home;
}

HString Lowered(const char* name) {
  HString lowered(name);
  if (!lowered.IsEmpty()) LowerCase(lowered.PtrAt(0));
  return lowered;
}

// Whether a (lower-cased) child name may become a file or directory name in
// the container's directory: it must stay inside that directory and must
// not be the container's own "index".
bool IsStorableName(const HString& name) {
  return !name.IsEmpty() && name.Compare(".") != 0 && name.Compare("..") != 0 &&
         name.Compare("index") != 0 && name.FindAnyOf("/\\") < 0;
}

}  // namespace

void RemoveTemporaryFiles(const char* directory) {
  DIR* dir = opendir(directory);
  if (dir == nullptr) return;
  static const char kSuffix[] = ".Tmp";
  const size_t suffix = sizeof kSuffix - 1;
  while (const dirent* entry = readdir(dir)) {
    const size_t length = strlen(entry->d_name);
    if (length <= suffix || strcmp(entry->d_name + length - suffix, kSuffix) != 0) continue;
    HString path(directory);
    path.Append("/");
    path.Append(entry->d_name);
    // A file of the open batch is to be renamed, not a leftover.
    const HCommitBatch* batch = HCommitBatch::Open();
    if (batch != nullptr && batch->Holds(path.CStr())) continue;
    struct stat info;
    if (lstat(path.CStr(), &info) == 0 && S_ISREG(info.st_mode)) {
      WillWrite();
      unlink(path.CStr());
    }
  }
  closedir(dir);
}

void RemoveTree(const char* path) {
  struct stat info;
  if (lstat(path, &info) != 0) return;
  WillWrite();
  if (!S_ISDIR(info.st_mode)) {
    unlink(path);
    return;
  }
  if (DIR* dir = opendir(path)) {
    while (const dirent* entry = readdir(dir)) {
      if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
      HString inner(path);
      inner.Append("/");
      inner.Append(entry->d_name);
      RemoveTree(inner.CStr());
    }
    closedir(dir);
  }
  rmdir(path);
}

INContainer::INContainer(const char* name, int flags) : IContainer(name, flags | kNumberedFlag) {
  if ((flags & kItemsFlag) != 0) {
    type_name_ = "NItems";
  } else if ((flags & kListFlag) != 0) {
    type_name_ = "NSet";
  } else {
    type_name_ = "NContainer";
  }
}

INContainer::~INContainer() = default;

bool INContainer::First() { return IObject::First(); }

const char* INContainer::NextName() { return IObject::NextName(); }

IObject* INContainer::NextObject() { return nullptr; }

const char* INContainer::Remove(int argc, const char* const* argv) {
  if (argc < 1) return nullptr;
  IContainer::Remove(argc, argv);
  if (IsItems()) {
    // The element stays loaded for whoever holds it, but is not saved again.
    HListNode* node = FindChildNode(argv[0]);
    if (node != nullptr && !IsRemovedChild(ObjectOf(node))) removed_children_.PushBack(ObjectOf(node));
  }
  removed_names_.Add(argv[0]);
  return nullptr;
}

HString INContainer::StoragePath(const char* name) const {
  HString path(HomeDirText());
  path.Append(directory_);
  path.Append(name);
  return path;
}

bool INContainer::IsRemovedChild(const IObject* child) const { return removed_children_.NodeOf(child) != nullptr; }

bool INContainer::WasRemoved(const char* name) const {
  for (const HString* removed : removed_names_) {
    if (CompareNoCase(removed->CStr(), name) == 0) return true;
  }
  return false;
}

void INContainer::SaveChildren(HObjectStream& stream) {
  for (IObject* child : children_) {
    if (child->IsNumbered() || child->IsContainer() || IsRemovedChild(child)) continue;
    child->Save(stream);
  }
}

IObject* INContainer::LoadChild(const char* name) {
  if (name == nullptr || directory_.IsEmpty()) return nullptr;
  // Pages test names that are not objects over and over (every row of a
  // loop): a file known to be missing is not looked for again, and costs
  // no copy of the name. Nothing creates files in data/ before the commit
  // at the end of the request.
  for (const HString* missing : missing_) {
    if (CompareNoCase(missing->CStr(), name) == 0) return nullptr;
  }
  const HString lowered = Lowered(name);
  // A removed child's file only waits for the commit to delete it.
  if (!IsStorableName(lowered) || WasRemoved(lowered.CStr())) return nullptr;
  HString path = StoragePath(lowered.CStr());
  const int kind = PathKind(path.CStr());
  if (kind < 0) {
    missing_.Add(lowered.CStr());
    return nullptr;
  }
  if (kind == 1) path.Append("/index");
  HObjectStream stream;
  if (!stream.Open(path.CStr(), "r") || !stream.ReadHeader(true)) return nullptr;
  std::unique_ptr<IObject, void (*)(IObject*)> child(
      CreateObject(stream.EntryName(), stream.EntryValue()), ReleaseObject);
  if (!child || !AddChild(child.get())) return nullptr;
  IObject* loaded = child.release();
  // An NList reads this file itself, the first time it is asked anything.
  if (!(loaded->IsNumbered() && loaded->IsItems() && loaded->IsList())) loaded->Load(stream);
  return loaded;
}

bool INContainer::AddChild(IObject* child) {
  if (child == nullptr || !IsHeaderName(child->GetName())) return false;
  if (!IsStorableName(Lowered(child->GetName()))) return false;
  if (child->IsNumbered() && !directory_.IsEmpty()) {
    if (INContainer* numbered = dynamic_cast<INContainer*>(child)) numbered->SetDirectory(directory_.CStr());
  }
  children_.PushBack(child);
  return true;
}

bool INContainer::HasStoredFile(const char* name) const {
  const HString lowered = Lowered(name);
  if (directory_.IsEmpty() || !IsStorableName(lowered) || WasRemoved(lowered.CStr())) return false;
  return PathKind(StoragePath(lowered.CStr()).CStr()) >= 0;
}

void INContainer::SetDirectory(const char* base) {
  directory_ = base;
  if (!name_.IsEmpty()) {
    directory_.Append(name_);
    directory_.Append("/");
  }
}

bool INContainer::Commit() {
  HCommitBatch batch;
  if (!SaveFiles() || !batch.Apply()) return false;
  DeleteRemoved();
  return true;
}

bool INContainer::SaveChild(IObject* child, const HString& base) {
  const HString name = Lowered(child->GetName());
  if (!IsStorableName(name)) return false;
  HString path(base);
  path.Append(name);
  // Removed and made anew in this request: the old file or tree goes first,
  // so that the new child neither inherits old grandchildren nor is deleted
  // with the removed one.
  if (WasRemoved(name.CStr())) RemoveTree(path.CStr());
  if (child->IsNumbered()) {
    INContainer* numbered = dynamic_cast<INContainer*>(child);
    return numbered == nullptr || numbered->SaveFiles();
  }
  if (!child->IsModified()) return true;
  HObjectStream stream;
  if (!stream.Open(path.CStr(), "w", child->IsPrivate())) return false;
  child->Save(stream);
  return stream.Close();
}

bool INContainer::SaveChildAlone(IObject* child) {
  const HString base = StoragePath("");
  const HString path(base.CStr(), base.Length() - 1);
  if (directory_.IsEmpty() || (!IsDirectory(path.CStr()) && !MakeDirectory(path.CStr()))) return false;
  return SaveChild(child, base);
}

bool INContainer::SaveFiles() {
  if (directory_.IsEmpty()) return !IsModified();  // not attached: nowhere to write
  const HString base = StoragePath("");
  const HString path(base.CStr(), base.Length() - 1);
  if (!IsDirectory(path.CStr()) && !MakeDirectory(path.CStr())) return false;
  if (IsModified()) RemoveTemporaryFiles(path.CStr());
  bool ok = true;
  for (IObject* child : children_) {
    if (IsRemovedChild(child)) continue;
    if (!child->IsContainer()) {
      if (child->IsModified()) modified_ = true;  // stored inline in the index
      continue;
    }
    if (!SaveChild(child, base)) ok = false;
  }
  if (modified_) {
    HString index(base);
    index.Append("index");
    HObjectStream stream;
    if (stream.Open(index.CStr(), "w")) {
      Save(stream);
      if (!stream.Close()) ok = false;
    } else {
      ok = false;
    }
  }
  return ok;
}

void INContainer::DeleteRemoved() {
  for (const HString* removed : removed_names_) {
    const HString name = Lowered(removed->CStr());
    if (!IsStorableName(name)) continue;  // never a path outside the directory
    bool made_anew = false;  // its new state has just been saved
    for (IObject* child : children_) {
      if (CompareNoCase(child->GetName(), name.CStr()) == 0 && !IsRemovedChild(child)) made_anew = true;
    }
    if (!made_anew) RemoveTree(StoragePath(name.CStr()).CStr());
  }
  removed_names_.Clear();
  for (IObject* child : children_) {
    if (!child->IsNumbered() || IsRemovedChild(child)) continue;
    if (auto* numbered = dynamic_cast<INContainer*>(child)) numbered->DeleteRemoved();
  }
}

void INContainer::LoadIndex() {
  if (index_loaded_) return;
  index_loaded_ = true;
  if (directory_.IsEmpty()) return;  // not attached: nothing stored
  HObjectStream stream;
  if (!stream.Open(StoragePath("index").CStr(), "r") || !stream.ReadHeader(true)) return;
  const bool modified = modified_;
  Load(stream);
  modified_ = modified;
}

INList::INList(const char* name) : INContainer(name, kItemsFlag | kListFlag) { type_name_ = "NList"; }

const char* INList::GetProperty(const char* name) {
  LoadIndex();
  return INContainer::GetProperty(name);
}

void INList::SetProperty(const char* name, const char* value) {
  LoadIndex();
  IObject::SetProperty(name, value);
}

void INList::RemoveProperty(const char* name) {
  LoadIndex();
  IObject::RemoveProperty(name);
}

const char* INList::Call(const char* method, int argc, const char* const* argv) {
  LoadIndex();
  return IObject::Call(method, argc, argv);
}

bool INList::First() {
  LoadIndex();
  return INContainer::First();
}

IObject* INList::NextObject() {
  const char* name = NextName();
  return name == nullptr ? nullptr : FindChild(name);
}

bool INList::Load(HObjectStream& stream) {
  index_loaded_ = true;  // read now, from the file LoadChild opened
  return IContainer::Load(stream);
}

void INList::ReadProperties(HObjectStream& stream) {
  HParamEntry* current = nullptr;
  for (bool first = true; stream.ReadProperty(); first = false) {
    const char* name = stream.EntryName();
    const char* value = stream.EntryValue();
    if (first && name != nullptr && CompareNoCase(name, "_lastid") == 0) {
      last_id_ = ToInt(value);
    } else if (name == nullptr) {
      if (current != nullptr) current->value.Append(value);
    } else {
      current = properties_.AddItem(value);
      const int id = ToInt(value);
      if (id > last_id_) last_id_ = id;
    }
  }
}

void INList::WriteProperties(HObjectStream& stream) {
  // A list marked modified before it was read must not lose its stored ids.
  LoadIndex();
  stream.WritePropertyInt("_lastid", last_id_);
  for (const HParamEntry* entry : properties_) stream.WriteProperty(nullptr, entry->value.CStr());
}
