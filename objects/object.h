// IObject, the node every page-visible object is built on: a named bag of
// text properties or, in its items form, an ordered list of nameless values.
// The virtual operations below are in a fixed order that every object class
// of the system overrides; IContainer, INContainer and INList append theirs.
#ifndef OBJECTS_OBJECT_H_
#define OBJECTS_OBJECT_H_

#include "core/list.h"
#include "core/params.h"
#include "core/text.h"

class HObjectStream;

// The kind flags; more than one may be set.
constexpr int kContainerFlag = 1;  // has a child list
constexpr int kNumberedFlag = 2;   // own directory, children loaded on demand
constexpr int kItemsFlag = 4;      // properties are nameless values
constexpr int kListFlag = 8;       // children get automatic ids (_lastid)

// Owns its name and properties. Objects are heap-allocated and deleted only
// through Release. A type name is static text, never owned.
class IObject {
 public:
  // The type name is "Items" when kItemsFlag is given, else "Object".
  IObject(const char* name, int flags);
  IObject(const IObject&) = delete;
  IObject& operator=(const IObject&) = delete;
  virtual ~IObject();

  // Deletes the object; use ReleaseObject for a pointer that may be null.
  virtual void Release();
  virtual const char* GetName() const;
  // Whether anything that must be saved has changed.
  virtual bool IsModified();
  virtual bool IsContainer();
  virtual bool IsNumbered();
  virtual bool IsItems();
  virtual bool IsList();
  // Whether its file must be readable by its owner only (it holds a secret).
  virtual bool IsPrivate();
  // Whether a page's "Add" stores it while it holds nothing; an object
  // that fills itself later (a day statistic before its day is counted)
  // says no.
  virtual bool IsStoredWhenAdded() { return true; }

  // A page's property read. Names beginning with "_" are hidden (null).
  // Items objects answer "Count", "First", "Last", and any other name with
  // the first item equal to it byte for byte; other objects answer the
  // value of the first pair of that name (ASCII case-insensitive). A miss
  // is null. Every answer, of this class and of every other, is a kept
  // text (core/answers.h): it stays valid until the process ends.
  virtual const char* GetProperty(const char* name);
  // Sets the first pair of that name or appends one; marks modified. A
  // name that could not be stored as it is (IsStorablePropertyName: a line
  // feed, a carriage return or "=", a leading blank, "object ") is refused:
  // nothing changes.
  virtual void SetProperty(const char* name, const char* value);
  // Removes every pair of that name; null empties the list. Marks modified.
  virtual void RemoveProperty(const char* name);
  // ToInt of GetProperty: 0 when absent.
  virtual int GetPropertyInt(const char* name);
  virtual void SetPropertyInt(const char* name, int value);
  // Dispatches "Add", "Remove", "RemoveAll", "OrderUp" and "OrderDown"
  // (ASCII case-insensitive); any other method returns null. The result is
  // a borrowed text or null. May raise ErrorCreate.
  virtual const char* Call(const char* method, int argc, const char* const* argv);

  // Iteration: First starts it (false when there is nothing), NextName
  // returns the next name (or item, kept like an answer) and NextObject the
  // next child object; both return null at the end. A plain object iterates
  // its items only.
  virtual bool First();
  virtual const char* NextName();
  virtual IObject* NextObject();
  // The child of that name (ASCII case-insensitive), loaded on demand by
  // containers; null when there is none. The child stays owned by its parent.
  virtual IObject* FindChild(const char* name);

  // Reads the object's block after its header from `stream`; true.
  virtual bool Load(HObjectStream& stream);
  // Writes the object's whole block to `stream`; true. Write failures are
  // kept by the stream and reported by its Close.
  virtual bool Save(HObjectStream& stream);
  virtual void SetModified(bool flag);
  virtual void ReadProperties(HObjectStream& stream);
  virtual void WriteProperties(HObjectStream& stream);

  // The page methods; each does nothing with argc < 1 and returns null
  // unless stated. On a plain object only the items form acts.
  // Cuts argv[0] into lines and adds each non-empty one as an item.
  virtual const char* Add(int argc, const char* const* argv);
  // Removes every item equal to argv[0]; marks modified in any case.
  virtual const char* Remove(int argc, const char* const* argv);
  // Removes every item; marks modified. Like the others it needs an
  // argument, which it ignores.
  virtual const char* RemoveAll(int argc, const char* const* argv);
  // Moves the first item equal to argv[0] one place up or down; marks
  // modified only when it moved.
  virtual const char* OrderUp(int argc, const char* const* argv);
  virtual const char* OrderDown(int argc, const char* const* argv);

  const char* GetTypeName() const { return type_name_; }
  int GetFlags() const { return flags_; }
  HParams& Properties() { return properties_; }

 protected:
  // Applies one result of HObjectStream::ReadProperty: a named value adds a
  // pair (an item on items objects) that becomes `*current`; a
  // continuation (null name) is appended to `*current`, or dropped.
  void TakeProperty(const char* name, const char* value, HParamEntry** current);
  // Ends an iteration over items whose next item has just been removed.
  void ForgetRemovedCursor();

  HString name_;
  HParams properties_;
  const char* type_name_;
  int flags_;
  bool modified_ = false;
  // The iteration position: a node of properties_ for items objects, of
  // the child list for containers.
  HListNode* cursor_ = nullptr;
};

// Release for a pointer that may be null.
inline void ReleaseObject(IObject* object) {
  if (object != nullptr) object->Release();
}

// How a list that owns objects lets go of them.
struct HReleaseObjects {
  void operator()(IObject* object) const { ReleaseObject(object); }
};

inline const char* ObjectName(const IObject* object) { return object->GetName(); }

// A list of child objects found by name; it owns them.
using HObjectList = HNamedList<IObject, ObjectName, HReleaseObjects>;

#endif  // OBJECTS_OBJECT_H_
