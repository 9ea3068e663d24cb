#pragma once

#include <QString>
#include <filesystem>
#include <optional>
#include <string_view>

#include "core/status.h"

namespace tsubame {

// Filter of every text-file dialog: caption, then the patterns.
inline const QString kTextFileFilter = QStringLiteral("txtファイル(*.txt,*.ini)|*.txt;*.ini");

// The folder part of a path: the text up to and including its last "/", or the whole path
// when it has none.
QString folderPart(const QString& path);

// The text of a file's bytes: UTF-8 when they are valid UTF-8 (a byte-order mark dropped),
// else code page 932.
QString decodeTextFile(std::string_view bytes);

// Reads a text file (UTF-8 or code page 932, as decodeTextFile) for a body box. Lines end at CR LF,
// CR or LF; every line, the last one too, is followed by one "\n", so an empty file gives an empty
// text. nullopt when the file cannot be read.
std::optional<QString> readTextFile(const std::filesystem::path& path);

// Writes text ("\n" line breaks) as a code page 932 file with CR LF line breaks, through
// replaceUserFile: the old file stays whole until the new one is complete, keeps its mode,
// and a symbolic link is written through.
Status writeTextFile(const std::filesystem::path& path, const QString& text);

// QString and std::filesystem::path hold UTF-8 names on this platform.
std::filesystem::path toPath(const QString& path);
QString fromPath(const std::filesystem::path& path);

}  // namespace tsubame
