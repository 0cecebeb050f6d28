#include "tests/support/OutsideHwpReaders.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QProcess>

namespace OutsideHwpReaders {
namespace {

Result Run(const QString& reader, const QString& program, const QStringList& arguments, const QString& folder,
           int timeoutMs)
{
    Result result;
    auto fail = [&](const QString& why) {
        result.error = reader + QStringLiteral(": ") + why;
        return result;
    };
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return fail(QStringLiteral("cannot start %1 (%2)").arg(program, process.errorString()));
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return fail(QStringLiteral("no answer within %1 ms").arg(timeoutMs));
    }
    const QByteArray errors = process.readAllStandardError().trimmed();
    if (process.exitStatus() != QProcess::NormalExit)
        return fail(QStringLiteral("crashed: %1").arg(QString::fromUtf8(errors)));
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(process.readAllStandardOutput(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !json.isObject()) {
        return fail(QStringLiteral("exit code %1 without a report (%2): %3")
                        .arg(process.exitCode())
                        .arg(parseError.errorString(), QString::fromUtf8(errors)));
    }
    result.ran = true;
    result.report = json.object();
    result.ok = result.report.value(QLatin1String("ok")).toBool() && process.exitCode() == 0;
    if (!result.ok) {
        result.error = result.report.value(QLatin1String("error")).toString();
        if (result.error.isEmpty())
            result.error = QStringLiteral("exit code %1").arg(process.exitCode());
    }
    return result;
}

} // namespace

Result ReadWithHwpjs(const QString& path, int timeoutMs)
{
    const QString node = QStringLiteral(VELLORIN_NODE_PROGRAM);
    if (node.isEmpty()) {
        Result result;
        result.error = QStringLiteral("@ohah/hwpjs: node was not found when the build was configured; install "
                                      "Node.js 20 or later with npm and configure again");
        return result;
    }
    const QString folder = QStringLiteral(VELLORIN_HWP_CHECK_DIR);
    if (!QFileInfo::exists(folder + QStringLiteral("/node_modules/@ohah/hwpjs/package.json"))) {
        Result result;
        result.error = QStringLiteral("@ohah/hwpjs: not installed in %1 (the build runs npm ci there)").arg(folder);
        return result;
    }
    return Run(QStringLiteral("@ohah/hwpjs"), node,
               {QStringLiteral(VELLORIN_HWP_CHECK_SCRIPTS "/read-hwp.mjs"), QFileInfo(path).absoluteFilePath()}, folder,
               timeoutMs);
}

Result CheckWithOlefile(const QString& path, int timeoutMs)
{
    return Run(QStringLiteral("olefile"), QStringLiteral(VELLORIN_SYSTEM_PYTHON),
               {QStringLiteral(VELLORIN_HWP_CHECK_SCRIPTS "/olefile-check.py"), QFileInfo(path).absoluteFilePath()},
               QStringLiteral(VELLORIN_HWP_CHECK_SCRIPTS), timeoutMs);
}

QString Describe(const Result& result)
{
    if (!result.ran)
        return result.error;
    const QString file = result.report.value(QLatin1String("file")).toString();
    return QStringLiteral("%1 %2: %3")
        .arg(result.report.value(QLatin1String("reader")).toString(), file,
             result.ok ? QStringLiteral("read") : result.error);
}

QStringList Strings(const QJsonArray& array)
{
    QStringList strings;
    strings.reserve(array.size());
    for (const QJsonValue& value : array)
        strings.append(value.toString());
    return strings;
}

} // namespace OutsideHwpReaders
