// Stand-ins for the command libraries that are not built yet. Each open function
// registers nothing and returns 0; each close function does nothing. Whoever builds a
// library deletes its entries here.
#include "runtime/libraries.h"

#include "runtime/applet.h"
#include "runtime/errors.h"



