#pragma once
// A fuzz input made into an .ods package, shared by the fuzz target and the
// regression test.

#include <string>
#include <string_view>

namespace odsfuzz {

// Writes the input to path: an input starting with "PK" as it is; any other
// as the XML of content.xml, styles.xml, settings.xml and the manifest,
// separated by lines "----" (missing ones get plain defaults), packed with
// "mimetype" first and stored. False when the file cannot be written.
bool WritePackage(const std::string& path, std::string_view input);

}  // namespace odsfuzz
