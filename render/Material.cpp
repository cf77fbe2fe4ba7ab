#include "render/Material.h"

#include "engine/Log.h"

Material::~Material() {
    logStream << "material dtor" << std::endl;
}
