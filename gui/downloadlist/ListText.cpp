#include "downloadlist/ListText.h"

#include "platform/Text.h"

QString ShownText(std::string_view bytes) {
    return QString::fromStdString(tvx::DisplayText(bytes));
}

std::string EditedText(const QString& text) {
    QString clean = text;
    for (QChar& c : clean) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph) {
            c = QLatin1Char(' ');
        }
    }
    return tvx::WithoutControls(clean.toStdString());
}

std::string KeptOrEdited(const QString& shown, std::string_view original) {
    if (shown == ShownText(original))
        return std::string(original);
    return EditedText(shown);
}
