// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/analysis_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "gui/dialogs.h"

namespace {

const QString kFilter = QStringLiteral("Analysis files (*.json)");
// An analysis file is a few kilobytes; anything larger is not one (and is not read whole).
constexpr qint64 kMax_analysis_file = 1 << 20;

QString Shown_path(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

std::optional<std::string> Save_analysis_file(QWidget* parent, const tAnalysis_file& analysis) {
  const QString path = tDialogs::Save_file_name(parent, QStringLiteral("analysis.json"), kFilter,
                                                QStringLiteral("json"),
                                                QStringLiteral("Save Analysis"));
  if (path.isEmpty()) return std::nullopt;
  const std::string text = Analysis_file_json(analysis);
  const QByteArray bytes = QByteArray::fromStdString(text);
  QSaveFile file(path);
  const bool saved =
      file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
  if (!saved) {
    tDialogs::Error(parent, QStringLiteral("The analysis could not be saved to \"%1\": %2.")
                                .arg(Shown_path(path), file.errorString()));
    return std::nullopt;
  }
  return text;
}

std::optional<tAnalysis_file> Open_analysis_file(QWidget* parent, tAnalysis_kind kind) {
  const QString path =
      tDialogs::Open_file_name(parent, kFilter, QStringLiteral("Open Analysis"));
  if (path.isEmpty()) return std::nullopt;
  const auto refuse = [&](const QString& why) {
    tDialogs::Warning(parent, QStringLiteral("\"%1\" cannot be opened: %2").arg(Shown_path(path), why));
    return std::nullopt;
  };
  // Only a regular file: a pipe or a device could block the window or never end.
  const QFileInfo info(path);
  if (!info.isFile()) return refuse(QStringLiteral("it is not a file."));
  if (info.size() > kMax_analysis_file)
    return refuse(QStringLiteral("it is larger than 1 MiB; it is not an analysis file."));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return refuse(file.errorString() + QLatin1Char('.'));
  const QByteArray bytes = file.read(kMax_analysis_file + 1);
  if (file.error() != QFileDevice::NoError) return refuse(file.errorString() + QLatin1Char('.'));
  if (bytes.size() > kMax_analysis_file)
    return refuse(QStringLiteral("it is larger than 1 MiB; it is not an analysis file."));
  auto read = Read_analysis_file(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), kind);
  if (const auto* message = std::get_if<std::string>(&read))
    return refuse(QString::fromStdString(*message));
  return std::get<tAnalysis_file>(std::move(read));
}
