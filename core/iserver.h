// IServer, the interface through which the object model, the template
// engine and the system objects reach the request: parameters, the object
// tree, the factory, the program directory and the response's cookies.
// CurrentServer points at the one server object. With core/params.h and
// core/errors.h it is the request interface, below every folder that uses it.
#ifndef CORE_ISERVER_H_
#define CORE_ISERVER_H_

#include <ctime>

class IEnum;
class IObject;
class IObjectFactory;

class IServer {
 public:
  virtual ~IServer() = default;
  // The first request parameter of that name (ASCII case-insensitive), or null.
  virtual const char* GetParam(const char* name) = 0;
  // A new enumeration of every value of `name` (of all parameters when
  // null); the caller owns it.
  virtual IEnum* EnumParam(const char* name) = 0;
  // With a value, sets the first parameter of that name or appends one;
  // with null, removes every parameter of that name.
  virtual void SetParam(const char* name, const char* value) = 0;
  // The root of the object tree, or null.
  virtual IObject* GetSystem() = 0;
  // The factory that makes objects by type name, or null.
  virtual IObjectFactory* GetFactory() = 0;
  // An extra source for the for directive; null in every server here.
  virtual IEnum* GetEnumSource() = 0;
  // The program directory, absolute and ending with "/".
  virtual const char* GetHomeDir() = 0;
  // Writes a Set-Cookie header line at once; an expiry of 0 adds no
  // expires part.
  virtual void SetCookie(const char* name, const char* value, time_t expires) = 0;
};

// Set by the log server's constructor; null for a bare HServer.
extern IServer* CurrentServer;

#endif  // CORE_ISERVER_H_
