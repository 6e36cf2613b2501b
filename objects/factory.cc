#include "objects/factory.h"

#include "core/text.h"
#include "objects/container.h"
#include "objects/ncontainer.h"
#include "objects/object.h"

IObject* IObjectFactory::Create(const char* name, const char* type_name) {
  if (type_name == nullptr) return nullptr;
  if (CompareNoCase(type_name, "Object") == 0) return new IObject(name, 0);
  if (CompareNoCase(type_name, "Items") == 0) return new IObject(name, kItemsFlag);
  if (CompareNoCase(type_name, "Container") == 0) return new IContainer(name, 0);
  if (CompareNoCase(type_name, "List") == 0) return new IContainer(name, kListFlag);
  if (CompareNoCase(type_name, "NContainer") == 0) return new INContainer(name, 0);
  if (CompareNoCase(type_name, "NList") == 0) return new INList(name);
  if (CompareNoCase(type_name, "NItems") == 0) return new INContainer(name, kItemsFlag);
  if (CompareNoCase(type_name, "NSet") == 0) return new INContainer(name, kListFlag);
  return nullptr;
}
