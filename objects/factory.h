// IObjectFactory, which makes the plain object classes by type name.
// Application factories recognise their own type names first and fall back
// to this one.
#ifndef OBJECTS_FACTORY_H_
#define OBJECTS_FACTORY_H_

class IObject;

class IObjectFactory {
 public:
  virtual ~IObjectFactory() = default;
  // A new object for "Object", "Items", "Container", "List", "NContainer",
  // "NList", "NItems" or "NSet" (ASCII case-insensitive), owned by the
  // caller; null for any other type name.
  virtual IObject* Create(const char* name, const char* type_name);
};

#endif  // OBJECTS_FACTORY_H_
