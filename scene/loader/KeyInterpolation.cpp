#include "scene/loader/KeyInterpolation.h"

#include "engine/base/Log.h"
#include "scene/NameSuggestion.h"
#include "scene/XMLDocument.h"
#include "scene/loader/LoaderText.h"

Interpolation readKeyInterpolation(const XMLTag* key, size_t values, const std::string& valuesNamed,
                                   const std::string& where) {
    const std::string attribute = "interpolation";
    Interpolation interpolation = Interpolation::CatmullRom;
    for (size_t k = 0; k < key->attributes.size(); ++k) {
        const auto& [name, value] = key->attributes[k];
        if (k < values) {
            if (name == attribute)
                noteProblem(where + ": interpolation must come after the key's " + valuesNamed +
                            "; here it is read as one of them");
            continue;
        }
        if (name != attribute) {
            noteProblem(where + ": only the first " + valuesNamed + " and an interpolation are read; " +
                        name + "=" + value + " is not" + didYouMean(name, {attribute}));
            continue;
        }
        if (!parseInterpolation(value, interpolation))
            noteProblem(where + ": interpolation '" + value + "' is none of " +
                        listText(interpolationNames()) + "; the key moves on as catmull-rom" +
                        didYouMean(value, interpolationNames()));
    }
    return interpolation;
}
