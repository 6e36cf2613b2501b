// IServer, the interface through which the object model and the template
// engine reach the request: parameters, the object tree, the factory and
// the program directory. CurrentServer points at the one server object.
#ifndef SERVER_ISERVER_H_
#define SERVER_ISERVER_H_

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
};

// Set by the log server's constructor; null for a bare HServer.
extern IServer* CurrentServer;

#endif  // SERVER_ISERVER_H_
