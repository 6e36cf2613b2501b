// HParams, the ordered name/value list that holds the request parameters
// and the properties of every object, and HEnumParam, an enumeration of
// copies of its values.
#ifndef CORE_PARAMS_H_
#define CORE_PARAMS_H_

#include "core/list.h"
#include "core/text.h"

// One name/value pair. An entry with an empty name is an item.
class HParamEntry {
 public:
  HParamEntry(const char* n, const char* v) : name(n), value(v) {}
  virtual ~HParamEntry() = default;
  HString name;
  HString value;
};

inline const char* EntryName(const HParamEntry* entry) { return entry->name.CStr(); }

// Names compare without regard to ASCII case, values exactly. Several
// entries may share a name; look-ups return the first, through an index by
// name once the list is long. Owns its entries.
class HParams {
 public:
  HParams() = default;
  HParams(const HParams&) = delete;
  HParams& operator=(const HParams&) = delete;
  virtual ~HParams();
  // Subclasses make larger entries.
  virtual HParamEntry* CreateEntry(const char* name, const char* value);

  HParamEntry* FindEntry(const char* name) const;
  HParamEntry* FindEntryByValue(const char* value) const;
  // Null when there is no such entry.
  const char* GetValue(const char* name) const;
  // A shared empty string when there is no such entry; never null.
  const HString& GetValueText(const char* name) const;
  void SetValue(const char* name, const char* value);
  HParamEntry* AddEntry(const char* name, const char* value);
  HParamEntry* AddItem(const char* value) { return AddEntry("", value); }
  HParamEntry* InsertEntry(HParamEntry* before, const char* name, const char* value);
  void RemoveAll(const char* name);
  bool RemoveItem(const char* value);
  // 1 when the item moved, 0 when it was already at that end or absent.
  int MoveItemUp(const char* value);
  int MoveItemDown(const char* value);
  void Clear();

  using List = HNamedList<HParamEntry, EntryName, HDeleteElements>;
  int Count() const { return list_.Count(); }
  HListNode* Head() const { return list_.Head(); }
  HListNode* Tail() const { return list_.Tail(); }
  List::Iterator begin() const { return list_.begin(); }
  List::Iterator end() const { return list_.end(); }
  static HParamEntry* EntryOf(const HListNode* node) { return List::Of(node); }

 private:
  HListNode* FindItemNode(const char* value) const;

  List list_;
};

class IEnum {
 public:
  virtual ~IEnum() = default;
  // Starts or restarts; false when there is no element.
  virtual bool First() = 0;
  // The current element's text, then moves on; null after the last.
  virtual const char* Next() = 0;
};

// Copies, in order, the values of every entry named `name` (of every entry
// when name is null); later changes to the source do not show.
class HEnumParam : public IEnum {
 public:
  HEnumParam(const HParams& params, const char* name);
  bool First() override;
  const char* Next() override;

 private:
  HStringList values_;
  HStringList::Iterator cursor_{nullptr};
};

#endif  // CORE_PARAMS_H_
