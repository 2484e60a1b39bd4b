// The map-object classes of this library in the class registry.
#include "engine/objects/VisualObject.h"

void RegisterBuiltInObjectClasses() {}
