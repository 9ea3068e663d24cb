#pragma once

#include <QString>
#include <filesystem>
#include <string>

namespace tsubame {

class AppPaths;

// The shown message as the two saves put it in front of the body.
struct ShownMessage {
    QString subject;  // Text7
    QString from;     // Text8
    QString date;     // Text9
    QString body;     // the reader, "\n" line breaks
};

// "Subject:", "From:", "Date:" and "Body:" lines, each label followed by two blanks and the
// value as it stands, joined by "\n" (no break after the body).
QString headerText(const ShownMessage& message);

// The quick-save file: the four lines in code page 932, each ending in CR LF.
std::string quickSaveFileContent(const ShownMessage& message);

// The subject made safe as a file name: "/", "\" and control characters become "_", and a
// long subject is cut so that the name with ".txt", and the temporary file's suffix on top,
// fits the file system.
QString quickSaveFileName(const QString& subject);

// The quick-save file of a subject inside "■TextQuickSave"; never outside that folder.
std::filesystem::path quickSavePath(const AppPaths& paths, const QString& subject);

}  // namespace tsubame
