#include "AdminHtml.h"

#include "WebFrame.h"
#include "WebText.h"

#include <httplib.h>

#include <atomic>

using WebText::html;

namespace AdminHtml {

QString banner(const QString &notice, const QString &error)
{
    QString out;
    if (!error.isEmpty())
        out += QStringLiteral("<p class=\"error\" role=\"alert\">%1</p>").arg(html(error));
    if (!notice.isEmpty())
        out += QStringLiteral("<p class=\"notice\" role=\"status\">%1</p>").arg(html(notice));
    return out;
}

void done(httplib::Response &res, const QString &page, const QString &doneKey)
{
    res.set_redirect((page + QStringLiteral("?done=") + doneKey).toStdString(), 303);
}

QString input(const QString &label, const QString &name, const QString &value, const QString &attributes,
              const QString &hint)
{
    static std::atomic<int> counter{0};
    QString described;
    QString hintHtml;
    if (!hint.isEmpty()) {
        const QString id = QStringLiteral("hint-%1-%2").arg(name).arg(++counter % 100000);
        described = QStringLiteral(" aria-describedby=\"%1\"").arg(id);
        hintHtml = QStringLiteral("<span class=\"hint\" id=\"%1\">%2</span>").arg(id, html(hint));
    }
    return QStringLiteral("<label>%1 <input name=\"%2\" value=\"%3\"%4%5>%6</label>")
        .arg(html(label), html(name), html(value), attributes.isEmpty() ? QString() : QLatin1Char(' ') + attributes,
             described, hintHtml);
}

QString select(const QString &label, const QString &name, const QList<QPair<QString, QString>> &options,
               const QString &selected)
{
    QString opts;
    for (const auto &[value, text] : options)
        opts += QStringLiteral("<option value=\"%1\"%2>%3</option>")
                    .arg(html(value), value == selected ? QStringLiteral(" selected") : QString(), html(text));
    return QStringLiteral("<label>%1 <select name=\"%2\">%3</select></label>").arg(html(label), html(name), opts);
}

QString rolePill(const QString &role)
{
    const QString kind = role == QLatin1String("owner")   ? QStringLiteral("violet")
                       : role == QLatin1String("admin")   ? QStringLiteral("brand")
                       : role == QLatin1String("manager") ? QStringLiteral("sky")
                                                          : QString();
    QString text = role;
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return QStringLiteral("<span class=\"pill%1\">%2</span>")
        .arg(kind.isEmpty() ? QString() : QStringLiteral(" pill-") + kind, html(text));
}

QString statePill(bool off, const QString &onText, const QString &offText)
{
    return off ? QStringLiteral("<span class=\"pill pill-rose\">%1</span>").arg(html(offText))
               : QStringLiteral("<span class=\"pill pill-brand\">%1</span>").arg(html(onText));
}

QString postButton(const WebSession::Viewer &viewer, const QString &action, const QString &label,
                   const QString &context, const QString &kind, const QString &hidden)
{
    return QStringLiteral("<form class=\"inline\" method=\"post\" action=\"%1\">%2%3<button class=\"btn btn-%4\""
                          " type=\"submit\">%5<span class=\"visually-hidden\"> %6</span></button></form>")
        .arg(html(action), WebFrame::csrfField(viewer), hidden, html(kind), html(label), html(context));
}

QList<QPair<QString, QString>> roleOptions(bool withOwner)
{
    QList<QPair<QString, QString>> out;
    if (withOwner)
        out.append({QStringLiteral("owner"), QStringLiteral("Owner: runs the workspace, can change owners")});
    out.append({QStringLiteral("admin"), QStringLiteral("Admin: runs the workspace")});
    out.append({QStringLiteral("manager"), QStringLiteral("Manager: sees the team")});
    out.append({QStringLiteral("member"), QStringLiteral("Member: sees their own days")});
    return out;
}

} // namespace AdminHtml
