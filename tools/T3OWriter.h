// Writes the engine's 3D object files (".t3o") for the project's own content: the exact bytes the
// engine's reader accepts, chunks unpadded, materials at the object's material revision.
#pragma once

#include <string>
#include <vector>

#include "render/T3OFile.h"

namespace trivale {
namespace tools {

// One chunk of the form: its four-character id and its data.
struct T3OChunk {
    std::string id;
    std::string data;
};

// Refuses what the reader refuses (no vertices or more than 65536, a pass above 31, a material index
// or vertex index out of range, an index count not a multiple of 3) and what the object's material
// revision cannot hold: a value other than the default in a field that revision lacks (at 0x100 a pass
// other than 0 or 1), and a string with a NUL byte (the reader would cut it there).
bool CheckT3O(const type_a::T3OObject& object, std::string& error);

// The five chunks in the order head, vert, mate, pset, bdsp; the object is not checked.
std::vector<T3OChunk> MakeT3OChunks(const type_a::T3OObject& object);
// A "TV3O" form of the chunks as given, each directly after the one before (no pad byte after an odd size).
std::string MakeT3OForm(const std::vector<T3OChunk>& chunks);

// The file's bytes, or false (with the reason) when the object does not pass CheckT3O.
bool WriteT3O(const type_a::T3OObject& object, std::string& bytes, std::string& error);
bool WriteT3OFile(const std::string& path, const type_a::T3OObject& object, std::string& error);

// Sets the bounding sphere to the centre of the vertices' bounding box and the farthest vertex's distance.
void FitBoundingSphere(type_a::T3OObject& object);

}  // namespace tools
}  // namespace trivale
