// INContainer, a numbered container: it lives in a directory of its own
// under the program directory, reads each stored child from its own file
// on demand and writes its children file by file when committed. INList is
// the numbered list whose items are the ids of its children.
//
// Storage, relative to the program directory (CurrentServer's home dir):
//   directory + "index"        this container's block: its properties and
//                              its plain-object children
//   directory + name           a plain container child with its subtree
//   directory + name + "/"     a numbered child's own directory
// Files are replaced whole through a temporary file and a rename, so a
// failed save leaves the old file as it was.
#ifndef OBJECTS_NCONTAINER_H_
#define OBJECTS_NCONTAINER_H_

#include "core/list.h"
#include "core/text.h"
#include "objects/container.h"

class INContainer : public IContainer {
 public:
  // Adds kContainerFlag and kNumberedFlag; the type name is "NItems" with
  // kItemsFlag, "NSet" with kListFlag, else "NContainer".
  INContainer(const char* name, int flags);
  ~INContainer() override;

  // A numbered container iterates only its items.
  bool First() override;
  const char* NextName() override;
  IObject* NextObject() override;
  // As IContainer::Remove, then argv[0] is recorded: its file or directory
  // is deleted at the next successful commit.
  const char* Remove(int argc, const char* const* argv) override;
  // As IContainer, but a child removed by name but still loaded is left out.
  void SaveChildren(HObjectStream& stream) override;
  // Reads the child's file (or directory + "/index"): the child's name
  // comes from the file. Null when the name is not storable (empty, ".",
  // "..", "index", or holding "/" or "\"), was removed in this request, the
  // path is missing, the header unreadable, the type unknown or the child
  // refused.
  IObject* LoadChild(const char* name) override;
  // A numbered child first gets its directory. Refuses a name that is not
  // storable (see LoadChild).
  bool AddChild(IObject* child) override;

  // directory = base, then the name and "/" unless the name is empty.
  virtual void SetDirectory(const char* base);
  // In one commit batch (objects/commit.h): SaveFiles, and only when every
  // file was written, the renames and then DeleteRemoved; true on success.
  // A failure changes no stored file.
  virtual bool Commit();
  // Creates the directory if needed and, when anything in it is to be
  // written, first removes the temporary files a killed save left there;
  // saves numbered children the same way, writes modified plain container
  // children to their files and, when this container's own flag is set,
  // its "index". False when anything could not be written; the other
  // files are still written (within a batch: under temporary names).
  virtual bool SaveFiles();
  // Deletes the files and directory trees of the removed children (a
  // missing path is fine) and forgets their names, then does the same in
  // every numbered child.
  virtual void DeleteRemoved();

  // Relative to the program directory, ending in "/"; empty until set.
  const char* GetDirectory() const { return directory_.CStr(); }
  // Whether a stored file or directory of that (lower-cased) child name
  // exists and was not removed in this request.
  bool HasStoredFile(const char* name) const;

  // Reads this container's own block from directory + "index" the first
  // time it is called (a container without a directory then stays empty), keeping the
  // modified mark as it was. Containers whose index is read on first use
  // (INList, the system object) call it before anything that could see or
  // overwrite what it holds. A missing or unreadable index reads as empty.
  void LoadIndex();

 protected:
  // The program directory + directory_ + `name`.
  HString StoragePath(const char* name) const;
  // Whether `child` was removed by name but is still loaded (an element of
  // an items container such as an NList); such a child is not saved again.
  bool IsRemovedChild(const IObject* child) const;
  // Writes `child`'s file as SaveFiles would (within a batch: under its
  // temporary name), making the directory if needed, and nothing else.
  bool SaveChildAlone(IObject* child);

  HString directory_;
  HStringList removed_names_;
  bool index_loaded_ = false;

 private:
  bool SaveChild(IObject* child, const HString& base);
  bool WasRemoved(const char* name) const;

  HTypedList<IObject> removed_children_;  // borrowed: still owned by children_
  HStringList missing_;                   // names whose file was not there
};

// A numbered list whose items are the ids of its children. Its index file
// (directory + "index") is read the first time it is asked anything.
class INList : public INContainer {
 public:
  // An INContainer with kItemsFlag and kListFlag; type name "NList".
  explicit INList(const char* name);

  const char* GetProperty(const char* name) override;
  void SetProperty(const char* name, const char* value) override;
  void RemoveProperty(const char* name) override;
  const char* Call(const char* method, int argc, const char* const* argv) override;
  bool First() override;
  // FindChild of the next id; null at the end.
  IObject* NextObject() override;
  bool Load(HObjectStream& stream) override;
  // "_lastid", then every id as an item. Reading raises the last id to the
  // largest id found.
  void ReadProperties(HObjectStream& stream) override;
  void WriteProperties(HObjectStream& stream) override;
};

// Removes the regular files named "*.Tmp" in a directory: what a save that
// was killed before its rename left behind.
void RemoveTemporaryFiles(const char* directory);
// Removes a file, or a directory with everything under it. Symbolic links
// are removed, never followed. A missing path is no error.
void RemoveTree(const char* path);

#endif  // OBJECTS_NCONTAINER_H_
