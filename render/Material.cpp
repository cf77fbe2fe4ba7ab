#include "render/Material.h"

#include "engine/base/Log.h"

Material::~Material() {
    logStream << "material dtor" << std::endl;
}
