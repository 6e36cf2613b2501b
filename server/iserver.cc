#include "server/iserver.h"

IServer* CurrentServer = nullptr;
