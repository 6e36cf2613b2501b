// IContainer, an object that owns an ordered list of child objects. A plain
// container keeps its children inline in its own stored block; a list
// container names new children with automatic decimal ids.
#ifndef OBJECTS_CONTAINER_H_
#define OBJECTS_CONTAINER_H_

#include "core/list.h"
#include "objects/object.h"

// Owns its children and releases them on destruction. The name is lower-
// cased once, at construction.
class IContainer : public IObject {
 public:
  // Adds kContainerFlag; the type name is "List" with kListFlag, else
  // "Container".
  IContainer(const char* name, int flags);
  ~IContainer() override;

  // True when this object or any loaded child is modified.
  bool IsModified() override;
  // A plain (neither numbered nor items) container answers "Count" (the
  // number of children), and a list also "First", "Last" (child names) and
  // the name of any child FindChild finds; when that answer is null, or for
  // numbered and items containers, the IObject rule applies.
  const char* GetProperty(const char* name) override;
  // Items containers iterate their items, the others their children.
  bool First() override;
  const char* NextName() override;
  IObject* NextObject() override;
  // A loaded child of that name, else LoadChild(name).
  IObject* FindChild(const char* name) override;
  // Properties, then the nested child blocks.
  bool Load(HObjectStream& stream) override;
  bool Save(HObjectStream& stream) override;
  // A list reads and writes "_lastid" first.
  void ReadProperties(HObjectStream& stream) override;
  void WriteProperties(HObjectStream& stream) override;

  // A list called with one argument (a type name) creates a child named
  // with the next id and returns that id; an NList also lists the id as an
  // item. A child made here is marked modified, so that it is stored even
  // while it holds nothing. Items containers that are not numbered, and items containers
  // called with one argument, add items. Otherwise argv[0] and argv[1]
  // are the name and type of a new child, whose name is returned. A child
  // that cannot be made or added raises ErrorCreate.
  const char* Add(int argc, const char* const* argv) override;
  // Items containers remove items; others release the child argv[0].
  const char* Remove(int argc, const char* const* argv) override;
  // Items containers move items; others move the child argv[0].
  const char* OrderUp(int argc, const char* const* argv) override;
  const char* OrderDown(int argc, const char* const* argv) override;

  // Reads the nested child blocks that follow the properties; a child of
  // an unknown type ends the reading of this block's children.
  virtual void LoadChildren(HObjectStream& stream);
  // Writes the inline children: a numbered container skips its container
  // children (they have files of their own), every container skips
  // numbered children.
  virtual void SaveChildren(HObjectStream& stream);
  // Reads a stored child that is not loaded yet; null here.
  virtual IObject* LoadChild(const char* name);
  // Takes ownership of `child` when it returns true. Refuses numbered
  // children, and names that the stored format cannot hold (a line feed or
  // " : "); the caller keeps a refused child.
  virtual bool AddChild(IObject* child);
  // CreateObject, then AddChild; marks modified. Null when the type is
  // unknown or the child was refused (it is released then). The child is
  // owned by this container.
  virtual IObject* CreateChild(const char* name, const char* type_name);
  // Releases the first child of that name (ASCII case-insensitive) and
  // marks modified; no match changes nothing.
  virtual void RemoveChild(const char* name);
  // A new object from the current server's factory, owned by the caller;
  // null without a server, a factory or a known type.
  virtual IObject* CreateObject(const char* name, const char* type_name);

  int ChildCount() const { return children_.Count(); }
  // The i-th child or null.
  IObject* ChildAt(int i) const;
  int LastId() const { return last_id_; }

 protected:
  // Whether a header line can hold `name`: no line feed and no " : ".
  static bool IsHeaderName(const char* name);
  // The first loaded child of that name, without loading.
  HListNode* FindChildNode(const char* name) const { return children_.FindNode(name); }
  static IObject* ObjectOf(const HListNode* node) { return HObjectList::Of(node); }

  HObjectList children_;
  int last_id_ = 0;

 private:
  const char* MoveChild(int argc, const char* const* argv, bool up);
};

#endif  // OBJECTS_CONTAINER_H_
