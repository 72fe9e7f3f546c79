// Why a file could not be written, in the operator's words.
#pragma once

#include <QString>

// The kind of failure, told from the file system after the
// writer failed (the writer's own text is English and only helps to tell a
// full disk).
enum class FileErrorKind { NoFolder, NoPermission, DiskFull, IsFolder, Other };
FileErrorKind fileErrorKind(const QString &fileName, const QString &writerError);
// "нет такой папки", "нет прав на запись", ...
QString fileErrorReason(FileErrorKind kind);
