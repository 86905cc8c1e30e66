// The link editor, the single-file download dialog and the pictures the windows show.

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include "GuiSandbox.h"
#include "TestHttpServer.h"
#include "app/CAboutDlg.h"
#include "app/CommandIds.h"
#include "app/DesktopNotice.h"
#include "app/MessageBox.h"
#include "app/TitleFit.h"
#include "app/Translation.h"
#include "downloadlist/CEditLinkDlg.h"
#include "downloadlist/LinkRecord.h"
#include "downloadlist/ListCommands.h"
#include "session/CSessionDlg.h"
#include "res/Images.h"
#include "session/CStatusView.h"
#include "transfer/CFileDownloadDlg.h"

namespace {

const std::string kDate = "Sun, 06 Nov 1994 08:49:37 GMT";

tvx::LinkRecord Record(char kind, int picture) {
    tvx::LinkRecord r{};
    r.kind = kind;
    r.picture = static_cast<std::uint8_t>(picture);
    r.SetAddress("http://Host/Dir/File.ZIP");
    r.SetPath("c:\\dl\\File.ZIP");
    r.SetText("Some Text");
    return r;
}

QList<QRadioButton*> PictureButtons(CEditLinkDlg& dialog) {
    return dialog.findChildren<QRadioButton*>();
}

// One of the program's pictures rendered for a screen of the given device pixel ratio, as an
// image of one format with the ratio forgotten, so that two of them compare pixel by pixel.
QImage Picture(const QString& kind, int index, qreal ratio) {
    QPixmap pixmap;
    if (kind == "list") {
        pixmap = ListIcon(index).pixmap(kListIconSize, ratio);
    } else if (kind == "toolbar" || kind == "toolbar hot") {
        pixmap = ToolbarIcon(index).pixmap(kToolbarIconSize, ratio,
                                           kind == "toolbar" ? QIcon::Normal : QIcon::Active);
    } else if (kind == "frame") {
        pixmap = AnimationFrames(ratio).value(index);
    } else if (kind == "banner") {
        pixmap = ProductBanner(ratio);
    } else {
        pixmap = AppIcon().pixmap(QSize(32, 32), ratio);
    }
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1);
    return image;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void editorShowsALinkAndWritesItBackOnOk();
    void editorCancelLeavesTheRecord();
    void editorShowsAFolderWithDisabledFields();
    void editorRefusesCommas();
    void editorKeepsStoredBytesAndTakesNoLineBreaks();
    void downloadDialogCompletes();
    void downloadDialogWithNothingToDoIsNeverShown();
    void downloadDialogBreakLeavesAResumableFile();
    void downloadDialogReportsAMissingFile();
    void dialogsSpeakToScreenReadersAndFitTheirTitles();
    void germanLocaleTranslatesTheWindow();
    void picturesAreSharpAtEveryScale_data();
    void picturesAreSharpAtEveryScale();
    void picturesOutsideTheSetsAreEmpty();

private:
    std::unique_ptr<GuiSandbox> m_sandbox;
    std::vector<std::string> m_messages;
};

void DialogsTest::init() {
    m_sandbox = std::make_unique<GuiSandbox>();
    m_messages.clear();
    SetMessageBoxHandler([this](const std::string& text, MessageButtons) {
        m_messages.push_back(text);
        return true;
    });
}

void DialogsTest::cleanup() {
    SetMessageBoxHandler({});
    m_sandbox.reset();
}

void DialogsTest::editorShowsALinkAndWritesItBackOnOk() {
    tvx::g_editRecord = Record('F', 4);
    CEditLinkDlg dialog;
    dialog.OnInitDialog();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("EDIT a Link for the TreeControl"));
    QCOMPARE(dialog.AddressEdit()->text(), QString("http://Host/Dir/File.ZIP"));
    QCOMPARE(dialog.PathEdit()->text(), QString("c:\\dl\\File.ZIP"));
    QCOMPARE(dialog.TextEdit()->text(), QString("Some Text"));
    QVERIFY(dialog.AddressEdit()->isEnabled());
    QCOMPARE(dialog.focusWidget(), static_cast<QWidget*>(dialog.OkButton()));
    QVERIFY(dialog.OkButton()->isDefault());
    const QList<QRadioButton*> buttons = PictureButtons(dialog);
    QCOMPARE(buttons.size(), 8);
    QVERIFY(buttons[4]->isChecked());
    for (QLineEdit* edit : {dialog.AddressEdit(), dialog.PathEdit(), dialog.TextEdit()}) {
        QCOMPARE(edit->maxLength(), tvx::kLinkTextMax);
    }

    // Typed text keeps its letter case in every field.
    dialog.AddressEdit()->clear();
    QTest::keyClicks(dialog.AddressEdit(), "HTTP://Example.COM/Setup.EXE");
    dialog.PathEdit()->setText("Downloads\\Setup.EXE");
    dialog.TextEdit()->setText("Setup Program");
    dialog.ClickPicture(6);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(tvx::g_editRecord.Address(), std::string_view("HTTP://Example.COM/Setup.EXE"));
    QCOMPARE(tvx::g_editRecord.Path(), std::string_view("Downloads\\Setup.EXE"));
    QCOMPARE(tvx::g_editRecord.Text(), std::string_view("Setup Program"));
    QCOMPARE(int(tvx::g_editRecord.picture), 6);
    QCOMPARE(tvx::g_editRecord.kind, 'F');
}

void DialogsTest::editorCancelLeavesTheRecord() {
    tvx::g_editRecord = Record('F', 8);  // a picture without a button
    CEditLinkDlg dialog;
    dialog.OnInitDialog();
    for (QRadioButton* button : PictureButtons(dialog))
        QVERIFY(!button->isChecked());
    dialog.TextEdit()->setText("Changed");
    dialog.reject();
    QCOMPARE(tvx::g_editRecord.Text(), std::string_view("Some Text"));

    // OK without touching the pictures keeps picture 8.
    CEditLinkDlg again;
    again.OnInitDialog();
    again.accept();
    QCOMPARE(int(tvx::g_editRecord.picture), 8);
}

void DialogsTest::editorShowsAFolderWithDisabledFields() {
    tvx::g_editRecord = tvx::LinkRecord{};
    tvx::g_editRecord.kind = '{';
    tvx::g_editRecord.SetText("My folder");
    CEditLinkDlg dialog;
    dialog.OnInitDialog();
    QVERIFY(!dialog.AddressEdit()->isEnabled());
    QVERIFY(!dialog.PathEdit()->isEnabled());
    QVERIFY(dialog.TextEdit()->isEnabled());
    QCOMPARE(dialog.AddressEdit()->text(), QString("http:\\www."));
    QCOMPARE(dialog.PathEdit()->text(), QString("c:\\tarvex_service\\downloads\\"));
    QVERIFY(PictureButtons(dialog)[0]->isChecked());
    dialog.ClickPicture(2);
    dialog.accept();
    QCOMPARE(tvx::g_editRecord.Text(), std::string_view("My folder"));
    QCOMPARE(int(tvx::g_editRecord.picture), 2);
    QCOMPARE(tvx::g_editRecord.kind, '{');
    QCOMPARE(tvx::g_editRecord.Address(), std::string_view("http:\\www."));
}

void DialogsTest::editorRefusesCommas() {
    tvx::g_editRecord = Record('F', 1);
    CEditLinkDlg dialog;
    dialog.OnInitDialog();
    dialog.PathEdit()->setText("a,b.zip");
    dialog.accept();
    QCOMPARE(m_messages.size(), std::size_t(1));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));  // still open
    QCOMPARE(tvx::g_editRecord.Path(), std::string_view("c:\\dl\\File.ZIP"));
}

void DialogsTest::editorKeepsStoredBytesAndTakesNoLineBreaks() {
    // 8-bit texts from an older list and a signed address far past 127
    // characters: OK without changes gives back exactly the stored bytes.
    const std::string address = "http://h/get?sig=" + std::string(3000, 's');
    tvx::g_editRecord = Record('F', 1);
    tvx::g_editRecord.SetAddress(address);
    tvx::g_editRecord.SetPath(
        "c:\\\xdc"
        "bersicht\\a.zip");
    tvx::g_editRecord.SetText(
        "\xdc"
        "bersicht \x80");
    CEditLinkDlg dialog;
    dialog.OnInitDialog();
    QCOMPARE(dialog.AddressEdit()->text(), QString::fromStdString(address));
    QCOMPARE(dialog.TextEdit()->text(), QString::fromUtf8("\xc3\x9c"
                                                          "bersicht \xe2\x82\xac"));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(tvx::g_editRecord.Address(), std::string_view(address));
    QCOMPARE(tvx::g_editRecord.Path(), std::string_view("c:\\\xdc"
                                                        "bersicht\\a.zip"));
    QCOMPARE(tvx::g_editRecord.Text(), std::string_view("\xdc"
                                                        "bersicht \x80"));

    // A changed text is stored as UTF-8; pasted line breaks and tabs become spaces.
    CEditLinkDlg again;
    again.OnInitDialog();
    again.TextEdit()->setText(QString::fromUtf8("Neu\r\nZeile\t\xc3\x9c"));
    QApplication::clipboard()->setText(QStringLiteral("x\ny"));
    again.PathEdit()->selectAll();
    again.PathEdit()->paste();
    again.accept();
    QCOMPARE(tvx::g_editRecord.Text(), std::string_view("Neu  Zeile \xc3\x9c"));
    QCOMPARE(tvx::g_editRecord.Path(), std::string_view("x y"));
    QCOMPARE(tvx::g_editRecord.Address(), std::string_view(address));
}

void DialogsTest::downloadDialogCompletes() {
    // One 1024-byte read a tick, so the dialog is still at work when looked at.
    m_sandbox->WriteFile("download.ini", "[Transfer]\r\nTickBudgetMs=0\r\n");
    const std::string body(60000, 'z');
    tvxtest::TestHttpServer server(
        [&](const tvxtest::SeenRequest& r) { return tvxtest::FileReply(r, body, kDate); });
    CStatusView log;
    log.OnInitialUpdate();
    std::vector<QString> notices;
    SetDesktopNoticeSink([&](const QString& summary, const QString& text) {
        notices.push_back(summary + ": " + text);
    });
    g_desktopNoticeAfter = std::chrono::milliseconds(0);
    CFileDownloadDlg dialog;
    QCOMPARE(dialog.SetParameters(server.Url("/a/file.zip") + ",dl/file.zip"), 1);
    QString fileLine, status, progress;
    QTimer::singleShot(400, [&] {
        QTest::keyClick(&dialog, Qt::Key_Return);  // Enter never breaks a download off
        fileLine = dialog.FileLine()->title();
        status = dialog.StatusText()->text();
        progress = dialog.ProgressLine()->text();
    });
    QCOMPARE(dialog.DoModal(), 1);
    SetDesktopNoticeSink({});
    g_desktopNoticeAfter = std::chrono::milliseconds(10000);
    QCOMPARE(fileLine, QString("Download: 60000 Byte file.zip"));
    QCOMPARE(status, QString("DownLoding"));
    // Bytes done of the total, percent, rate and time left under the bar.
    QVERIFY2(QRegularExpression("^[0-9.]+ KB of 58.6 KB  [0-9]+%  [0-9.]+ KB/s  [0-9:]+ left$")
                 .match(progress)
                 .hasMatch(),
             qPrintable(progress));
    // One line in the log pane, and a notice when the window is not active.
    const QString end = "DOWNLOAD END : " + QString::fromStdString(server.Url("/a/file.zip")) +
                        " -> " + m_sandbox->PathOf("dl/file.zip") +
                        " : 60000 of 60000 Bytes : complete\n";
    QVERIFY2(log.toPlainText().endsWith(end), qPrintable(log.toPlainText()));
    // No window of the program is active once the dialog has closed.
    QVERIFY(QApplication::activeWindow() == nullptr);
    QCOMPARE(notices.size(), std::size_t(1));
    QVERIFY2(notices[0].startsWith("Download finished: " +
                                   QString::fromStdString(server.Url("/a/file.zip"))),
             qPrintable(notices[0]));
    QCOMPARE(dialog.Download().Outcome(), tvx::DownloadOutcome::Complete);
    QCOMPARE(m_sandbox->ReadFile("dl/file.zip").size(), qsizetype(60000));
    QVERIFY(!QFile::exists(m_sandbox->PathOf("dl/CTL_file.zip")));
    QVERIFY(m_messages.empty());
}

void DialogsTest::downloadDialogWithNothingToDoIsNeverShown() {
    const std::string body(3000, 'q');
    tvxtest::TestHttpServer server(
        [&](const tvxtest::SeenRequest& r) { return tvxtest::FileReply(r, body, kDate); });
    {
        CFileDownloadDlg first;
        first.SetParameters(server.Url("/f.zip") + ",f.zip");
        QCOMPARE(first.DoModal(), 1);
    }
    CFileDownloadDlg dialog;
    dialog.SetParameters(server.Url("/f.zip") + ",f.zip");
    bool shown = false;
    QTimer::singleShot(0, [&] { shown = dialog.isVisible(); });
    QCOMPARE(dialog.DoModal(), 1);
    QCoreApplication::processEvents();
    QVERIFY(!shown);
    QCOMPARE(dialog.Download().Outcome(), tvx::DownloadOutcome::UpToDate);
}

void DialogsTest::downloadDialogBreakLeavesAResumableFile() {
    m_sandbox->WriteFile("download.ini", "[Transfer]\r\nTickBudgetMs=0\r\n");
    const std::string body(400000, 'r');
    tvxtest::TestHttpServer server(
        [&](const tvxtest::SeenRequest& r) { return tvxtest::FileReply(r, body, kDate); });
    CFileDownloadDlg dialog;
    dialog.SetParameters(server.Url("/big.zip") + ",big.zip");
    QPushButton* breakButton = nullptr;
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == "Break / Exit")
            breakButton = button;
    }
    QVERIFY(breakButton != nullptr);
    QTimer::singleShot(300, &dialog, [&] { QTest::mouseClick(breakButton, Qt::LeftButton); });
    CStatusView log;
    log.OnInitialUpdate();
    QCOMPARE(dialog.DoModal(), 2);
    QCOMPARE(dialog.Download().Outcome(), tvx::DownloadOutcome::Broken);
    QVERIFY2(log.toPlainText().contains(QRegularExpression(
                 " -> .*big.zip : [0-9]+ of 400000 Bytes : broken off, resumable\n$")),
             qPrintable(log.toPlainText()));
    QVERIFY(QFile::exists(m_sandbox->PathOf("CTL_big.zip")));
    const qint64 partial = QFileInfo(m_sandbox->PathOf("big.zip")).size();
    QVERIFY(partial > 0 && partial < 400000);

    CFileDownloadDlg again;
    again.SetParameters(server.Url("/big.zip") + ",big.zip");
    QTimer::singleShot(200, &again, [&] { again.reject(); });
    QCOMPARE(again.DoModal(), 2);
    QVERIFY(server.Requests().back().Header("Range").rfind("bytes=", 0) == 0);
    QVERIFY(QFileInfo(m_sandbox->PathOf("big.zip")).size() > partial);
}

void DialogsTest::downloadDialogReportsAMissingFile() {
    tvxtest::TestHttpServer server([](const tvxtest::SeenRequest&) {
        return tvxtest::Reply().Send(tvxtest::ResponseHead(404, {{"Content-Length", "0"}}));
    });
    CFileDownloadDlg dialog;
    dialog.SetParameters(server.Url("/gone.zip") + ",gone.zip");
    QCOMPARE(dialog.DoModal(), 1);
    QCOMPARE(m_messages, std::vector<std::string>{"Error: not found on the server (HTTP 404) (" +
                                                  server.Url("/gone.zip") + ")"});
    QVERIFY(!QFile::exists(m_sandbox->PathOf("gone.zip")));

    m_messages.clear();
    CFileDownloadDlg usage;
    usage.SetParameters("no comma here");
    QCOMPARE(usage.DoModal(), 1);
    QCOMPARE(m_messages, std::vector<std::string>{"CALL: Pullbox.exe webname,filename"});
}

// Each dialog names and describes every control for a screen reader, moves
// focus in reading order and is wide enough for its whole title.
void DialogsTest::dialogsSpeakToScreenReadersAndFitTheirTitles() {
    InstallTitleFit(*qApp);
    tvx::g_editRecord = Record('F', 4);
    CEditLinkDlg editor;
    editor.OnInitDialog();
    CFileDownloadDlg download;
    CSessionDlg session;
    CAboutDlg about;
    for (QDialog* dialog : std::initializer_list<QDialog*>{&editor, &download, &session, &about}) {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        const QString name = dialog->metaObject()->className();
        QVERIFY2(dialog->width() >= TitleWidth(*dialog), qPrintable(name));
        const QStringList missing = ControlsWithoutAccessibleText(dialog);
        QVERIFY2(missing.isEmpty(), qPrintable(name + ": " + missing.join(", ")));
        const QStringList faults = FocusOrderFaults(dialog);
        QVERIFY2(faults.isEmpty(), qPrintable(name + ": " + faults.join(", ")));
        dialog->hide();
    }
}

void DialogsTest::germanLocaleTranslatesTheWindow() {
    // The window's own texts, a command's prompt and the toolkit's standard
    // button. French, which the toolkit has but the program has not, keeps
    // them English.
    const struct {
        QLocale locale;
        const char* title;
        QStringList buttons;
        const char* prompt;
        const char* standardCancel;
        const char* menuEntry;  // a text of the core the list's menu shows
        const char* progress;   // a line the core composes, with its figures
        const char* caption;    // the same with a name that holds a placeholder
        const char* fileState;  // a file's state in the list's tool tip
    } cases[] = {
        {QLocale(QLocale::German, QLocale::Germany),
         "Link der Download-Liste bearbeiten",
         {"Abbrechen", "OK"},
         "Bricht das Laden der Seite ab.\nStopp",
         "Abbrechen",
         "Diesen Eintrag bearbeiten",
         "1.5 MB von 4.0 MB  37 %  820 KB/s  noch 0:03",
         "Datei wird geprüft: a%2b",
         "unvollständig (1,000 von 2,000 Byte)"},
        {QLocale(QLocale::French, QLocale::France),
         "EDIT a Link for the TreeControl",
         {"Cancel", "OK"},
         "Stops loading the page.\nStop",
         "Cancel",
         "Edit this Item",
         "1.5 MB of 4.0 MB  37%  820 KB/s  0:03 left",
         "check the file: a%2b",
         "incomplete (1,000 of 2,000 bytes)"},
    };
    for (const auto& c : cases) {
        const QList<QTranslator*> installed = InstallTranslations(c.locale);
        CEditLinkDlg dialog;
        QStringList buttons;
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            buttons << button->text();
        const QString prompt = CommandPrompt(ID_STOP);
        QDialogButtonBox box(QDialogButtonBox::Cancel);
        const QString standardCancel = box.button(QDialogButtonBox::Cancel)->text();
        const QString menuEntry = CoreText("Edit this Item");
        const QString progress = CoreText("1.5 MB of 4.0 MB  37%  820 KB/s  0:03 left");
        const QString caption = CoreText("check the file: a%2b");
        const QString fileState = CoreText("incomplete (1,000 of 2,000 bytes)");
        for (QTranslator* translator : installed) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QCOMPARE(dialog.windowTitle(), QString(c.title));
        QCOMPARE(buttons, c.buttons);
        QCOMPARE(prompt, QString(c.prompt));
        QCOMPARE(standardCancel, QString(c.standardCancel));
        QCOMPARE(menuEntry, QString(c.menuEntry));
        QCOMPARE(progress, QString::fromUtf8(c.progress));
        QCOMPARE(caption, QString::fromUtf8(c.caption));
        QCOMPARE(fileState, QString::fromUtf8(c.fileState));
    }
}

void DialogsTest::picturesAreSharpAtEveryScale_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("index");
    QTest::addColumn<QSize>("size");
    const auto add = [](const char* kind, int count, QSize size) {
        for (int i = 0; i < count; ++i) {
            QTest::addRow("%s %d", kind, i) << QString::fromLatin1(kind) << i << size;
        }
    };
    add("list", 9, kListIconSize);
    add("toolbar", 10, kToolbarIconSize);
    add("toolbar hot", 10, kToolbarIconSize);
    add("frame", 7, QSize(40, 40));
    add("banner", 1, QSize(266, 42));
    add("application", 1, QSize(32, 32));
}

// At twice the device pixel ratio a picture has twice the pixels each way, drawn anew rather
// than enlarged (and blurred) from the picture at its own size.
void DialogsTest::picturesAreSharpAtEveryScale() {
    QFETCH(QString, kind);
    QFETCH(int, index);
    QFETCH(QSize, size);
    const QImage single = Picture(kind, index, 1);
    const QImage twice = Picture(kind, index, 2);
    QCOMPARE(single.size(), size);
    QCOMPARE(twice.size(), size * 2);
    bool visible = false;
    for (int y = 0; y < single.height() && !visible; ++y) {
        for (int x = 0; x < single.width() && !visible; ++x) {
            visible = qAlpha(single.pixel(x, y)) > 0;
        }
    }
    QVERIFY(visible);
    QVERIFY(twice != single.scaled(size * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void DialogsTest::picturesOutsideTheSetsAreEmpty() {
    QVERIFY(ListIcon(-1).isNull());
    QVERIFY(ListIcon(9).isNull());
    QVERIFY(ToolbarIcon(-1).isNull());
    QVERIFY(ToolbarIcon(10).isNull());
    QCOMPARE(AnimationFrames(1).size(), 7);
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
