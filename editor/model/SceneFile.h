// Writing the scene file: through a temporary file beside it that takes the file's name only
// when it is complete, with the previous file kept as NAME.bak.
#pragma once

#include <string>

// False with a message when something could not be written; the scene file is then as it was.
bool saveSceneFile(const std::string& path, const std::string& text, std::string& error);

// `beatshow --resave DIR`: reads the show's scene and writes it back as the editor saves it.
// 0 when saved, 1 with a message when not.
int resaveShow(const std::string& directory, std::string& message);
