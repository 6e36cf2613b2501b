#include "objects/container.h"

#include <cstring>
#include <memory>

#include "core/answers.h"
#include "core/errors.h"
#include "core/iserver.h"
#include "objects/factory.h"
#include "objects/object_stream.h"

IContainer::IContainer(const char* name, int flags) : IObject(name, flags | kContainerFlag) {
  type_name_ = (flags & kListFlag) != 0 ? "List" : "Container";
  if (!name_.IsEmpty()) LowerCase(name_.PtrAt(0));
}

IContainer::~IContainer() = default;

bool IContainer::IsModified() {
  if (modified_) return true;
  for (IObject* child : children_) {
    if (child->IsModified()) return true;
  }
  return false;
}

IObject* IContainer::ChildAt(int i) const { return children_.At(i); }

const char* IContainer::GetProperty(const char* name) {
  if (name != nullptr && !IsNumbered() && !IsItems()) {
    const char* answer = nullptr;
    if (CompareNoCase(name, "Count") == 0) {
      answer = NumberAnswer(children_.Count());
    } else if (IsList()) {
      if (CompareNoCase(name, "First") == 0) {
        if (children_.Head() != nullptr) answer = ObjectOf(children_.Head())->GetName();
      } else if (CompareNoCase(name, "Last") == 0) {
        if (children_.Tail() != nullptr) answer = ObjectOf(children_.Tail())->GetName();
      } else {
        IObject* child = FindChild(name);
        if (child != nullptr) answer = child->GetName();
      }
    }
    if (answer != nullptr) return answer;
  }
  return IObject::GetProperty(name);
}

bool IContainer::First() {
  if (IsItems()) return IObject::First();
  cursor_ = children_.Head();
  return cursor_ != nullptr;
}

const char* IContainer::NextName() {
  if (IsItems()) return IObject::NextName();
  IObject* child = NextObject();
  return child == nullptr ? nullptr : child->GetName();
}

IObject* IContainer::NextObject() {
  if (IsItems() || cursor_ == nullptr) return nullptr;
  IObject* child = ObjectOf(cursor_);
  cursor_ = cursor_->next;
  return child;
}

IObject* IContainer::FindChild(const char* name) {
  HListNode* node = FindChildNode(name);
  if (node != nullptr) return ObjectOf(node);
  return name == nullptr ? nullptr : LoadChild(name);
}

bool IContainer::Load(HObjectStream& stream) {
  ReadProperties(stream);
  LoadChildren(stream);
  return true;
}

bool IContainer::Save(HObjectStream& stream) {
  stream.BeginObject(name_.CStr(), type_name_);
  WriteProperties(stream);
  SaveChildren(stream);
  stream.EndObject();
  return true;
}

void IContainer::ReadProperties(HObjectStream& stream) {
  if (!IsList()) {
    IObject::ReadProperties(stream);
    return;
  }
  HParamEntry* current = nullptr;
  if (!stream.ReadProperty()) return;
  if (stream.EntryName() != nullptr && CompareNoCase(stream.EntryName(), "_lastid") == 0) {
    last_id_ = ToInt(stream.EntryValue());
  } else {
    TakeProperty(stream.EntryName(), stream.EntryValue(), &current);
  }
  while (stream.ReadProperty()) TakeProperty(stream.EntryName(), stream.EntryValue(), &current);
}

void IContainer::WriteProperties(HObjectStream& stream) {
  if (IsList()) stream.WritePropertyInt("_lastid", last_id_);
  IObject::WriteProperties(stream);
}

void IContainer::LoadChildren(HObjectStream& stream) {
  if (!stream.HasPending()) return;  // the block or the file has ended
  while (stream.ReadHeader(true)) {
    IObject* child = CreateObject(stream.EntryName(), stream.EntryValue());
    // An unknown type: its lines cannot be read, so this block stops here.
    if (child == nullptr) return;
    children_.PushBack(child);
    child->Load(stream);
  }
}

void IContainer::SaveChildren(HObjectStream& stream) {
  for (IObject* child : children_) {
    if (child->IsNumbered() || (IsNumbered() && child->IsContainer())) continue;
    child->Save(stream);
  }
}

IObject* IContainer::LoadChild(const char*) { return nullptr; }

// A line feed or " : " in a name would break the header line it is stored
// in, and with it the rest of the parent's block.
bool IContainer::IsHeaderName(const char* name) {
  return name != nullptr && strchr(name, '\n') == nullptr && strstr(name, " : ") == nullptr;
}

bool IContainer::AddChild(IObject* child) {
  if (child == nullptr || child->IsNumbered() || !IsHeaderName(child->GetName())) return false;
  children_.PushBack(child);
  return true;
}

IObject* IContainer::CreateChild(const char* name, const char* type_name) {
  std::unique_ptr<IObject, void (*)(IObject*)> child(CreateObject(name, type_name), ReleaseObject);
  if (!child || !AddChild(child.get())) return nullptr;  // released if refused
  modified_ = true;
  return child.release();  // the child list owns it from here on
}

namespace {

// Children removed during the request. Names bound with set and loops of
// the page may still point at them, so they are released only when the
// process ends.
HTypedList<IObject, HReleaseObjects>& RemovedObjects() {
  static HTypedList<IObject, HReleaseObjects> removed;
  return removed;
}

}  // namespace

void IContainer::RemoveChild(const char* name) {
  HListNode* node = FindChildNode(name);
  if (node == nullptr) return;
  if (cursor_ == node) cursor_ = node->next;  // a loop over the children goes on
  RemovedObjects().PushBack(children_.Unlink(node));
  modified_ = true;
}

IObject* IContainer::CreateObject(const char* name, const char* type_name) {
  if (CurrentServer == nullptr) return nullptr;
  IObjectFactory* factory = CurrentServer->GetFactory();
  return factory == nullptr ? nullptr : factory->Create(name, type_name);
}

const char* IContainer::Add(int argc, const char* const* argv) {
  if (argc < 1) return nullptr;
  if (IsList() && argc == 1) {
    const int id = (last_id_ > 0 ? last_id_ : 0) + 1;
    char name[16];
    snprintf(name, sizeof name, "%d", id);
    std::unique_ptr<IObject, void (*)(IObject*)> child(CreateObject(name, argv[0]), ReleaseObject);
    if (!child || !AddChild(child.get())) throw ErrorCreate;
    IObject* added = child.release();
    if (added->IsStoredWhenAdded()) added->SetModified(true);  // stored even while it holds nothing
    last_id_ = id;
    if (IsNumbered() && IsItems()) properties_.AddItem(name);
    modified_ = true;
    return added->GetName();
  }
  if (IsItems() && (!IsNumbered() || argc == 1)) return IObject::Add(argc, argv);
  if (argc < 2) return nullptr;
  IObject* child = CreateChild(argv[0], argv[1]);
  if (child == nullptr) throw ErrorCreate;
  // A page's new child is stored even while it holds nothing.
  if (child->IsStoredWhenAdded()) child->SetModified(true);
  return child->GetName();
}

const char* IContainer::Remove(int argc, const char* const* argv) {
  if (IsItems()) return IObject::Remove(argc, argv);
  if (argc >= 1) RemoveChild(argv[0]);
  return nullptr;
}

const char* IContainer::MoveChild(int argc, const char* const* argv, bool up) {
  if (argc < 1) return nullptr;
  HListNode* node = FindChildNode(argv[0]);
  if (node == nullptr) return nullptr;
  HListNode* other = up ? node->prev : node->next;
  if (other == nullptr) return nullptr;
  if (up) {
    children_.SwapWithNext(other, node);
  } else {
    children_.SwapWithNext(node, other);
  }
  modified_ = true;
  return nullptr;
}

const char* IContainer::OrderUp(int argc, const char* const* argv) {
  if (IsItems()) return IObject::OrderUp(argc, argv);
  return MoveChild(argc, argv, true);
}

const char* IContainer::OrderDown(int argc, const char* const* argv) {
  if (IsItems()) return IObject::OrderDown(argc, argv);
  return MoveChild(argc, argv, false);
}
