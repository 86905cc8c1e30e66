<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>Info über download</source>
        <translation>Info über Tarvex Download Service</translation>
    </message>
    <message>
        <source>https://www.tarvex.de/   download service %1</source>
        <translation>https://www.tarvex.de/   Download Service %1</translation>
    </message>
    <message>
        <source>Tarvex Download Service. Free to use, at your own risk.</source>
        <translation>Tarvex Download Service. Kostenlos nutzbar, auf eigene Gefahr.</translation>
    </message>
    <message>
        <source>Browser engine: %1, %2</source>
        <translation>Browser-Engine: %1, %2</translation>
    </message>
    <message>
        <source>hardened</source>
        <translation>gehärtet</translation>
    </message>
    <message>
        <source>with its own defaults ([Browser] Hardened=0)</source>
        <translation>mit ihren eigenen Voreinstellungen ([Browser] Hardened=0)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>The program&apos;s version and its browser engine</source>
        <translation>Die Version des Programms und seine Browser-Engine</translation>
    </message>
    <message>
        <source>Closes this box</source>
        <translation>Schließt dieses Fenster</translation>
    </message>
</context>
<context>
    <name>CDownloadApp</name>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>%1 kann nicht geöffnet werden: %2</translation>
    </message>
</context>
<context>
    <name>CEditLinkDlg</name>
    <message>
        <source>EDIT a Link for the TreeControl</source>
        <translation>Link der Download-Liste bearbeiten</translation>
    </message>
    <message>
        <source>URL: p.e    http://www.example.com/pub/tools/setup.zip</source>
        <translation>URL: z. B.    http://www.example.com/pub/tools/setup.zip</translation>
    </message>
    <message>
        <source>HDD: p.e    downloads\tools\setup.zip  or  c:\tarvex_service\downloads\setup.zip</source>
        <translation>Festplatte: z. B.    downloads\tools\setup.zip  oder  c:\tarvex_service\downloads\setup.zip</translation>
    </message>
    <message>
        <source>TREE LIST TEXT: p.e    Setup of the tools, version 1.2</source>
        <translation>TEXT IN DER DOWNLOAD-LISTE: z. B.    Setup der Tools, Version 1.2</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>An address or a path cannot hold a comma: the download list separates its fields with commas.</source>
        <translation>Eine Adresse oder ein Pfad darf kein Komma enthalten: Die Download-Liste trennt ihre Felder mit Kommas.</translation>
    </message>
    <message>
        <source>A link of the download list: the file&apos;s address on the web, where it is kept on disk, and the text and picture the list shows for it</source>
        <translation>Ein Link der Download-Liste: die Adresse der Datei im Web, ihr Ort auf der Festplatte und Text und Bild, mit denen die Liste sie zeigt</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>The file&apos;s address on the web, whole or below the list&apos;s web address</source>
        <translation>Die Adresse der Datei im Web, vollständig oder unterhalb der Web-Adresse der Liste</translation>
    </message>
    <message>
        <source>Path on disk</source>
        <translation>Pfad auf der Festplatte</translation>
    </message>
    <message>
        <source>Where the file is kept, below the list&apos;s download folder or as a whole path</source>
        <translation>Wo die Datei liegt, unterhalb des Download-Ordners der Liste oder als vollständiger Pfad</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>The text the download list shows for the link</source>
        <translation>Der Text, den die Download-Liste für den Link zeigt</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Floppy disk</source>
        <translation>Diskette</translation>
    </message>
    <message>
        <source>Information sign</source>
        <translation>Informationszeichen</translation>
    </message>
    <message>
        <source>Book</source>
        <translation>Buch</translation>
    </message>
    <message>
        <source>Page of text</source>
        <translation>Textseite</translation>
    </message>
    <message>
        <source>Archive</source>
        <translation>Archiv</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Programm</translation>
    </message>
    <message>
        <source>Web page</source>
        <translation>Webseite</translation>
    </message>
    <message>
        <source>The picture the download list shows for the link</source>
        <translation>Das Bild, das die Download-Liste für den Link zeigt</translation>
    </message>
    <message>
        <source>Closes the editor and leaves the link as it was</source>
        <translation>Schließt den Editor und lässt den Link unverändert</translation>
    </message>
    <message>
        <source>Keeps what the fields say and closes the editor</source>
        <translation>Übernimmt den Inhalt der Felder und schließt den Editor</translation>
    </message>
</context>
<context>
    <name>CEngineDownloadDlg</name>
    <message>
        <source>Download: %1</source>
        <translation>Download: %1</translation>
    </message>
    <message>
        <source>DownLoding</source>
        <translation>Wird heruntergeladen</translation>
    </message>
    <message>
        <source>Break / Exit</source>
        <translation>Abbrechen / Beenden</translation>
    </message>
    <message>
        <source>Error: the download is gone</source>
        <translation>Fehler: Der Download ist nicht mehr vorhanden</translation>
    </message>
    <message>
        <source>Download: %1 Byte %2</source>
        <translation>Download: %1 Byte %2</translation>
    </message>
    <message>
        <source>Error: cannot write %1</source>
        <translation>Fehler: %1 kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Saved: %1 Byte %2</source>
        <translation>Gespeichert: %1 Byte %2</translation>
    </message>
    <message>
        <source>Error: %1</source>
        <translation>Fehler: %1</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Downloads a file the browser was asked for</source>
        <translation>Lädt eine Datei herunter, die im Browser angefordert wurde</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Download-Fortschritt</translation>
    </message>
    <message>
        <source>How much of the file has arrived</source>
        <translation>Wie viel von der Datei angekommen ist</translation>
    </message>
    <message>
        <source>Stops the download and closes this box</source>
        <translation>Bricht den Download ab und schließt dieses Fenster</translation>
    </message>
</context>
<context>
    <name>CFileDownloadDlg</name>
    <message>
        <source>OK download</source>
        <translation>OK, herunterladen</translation>
    </message>
    <message>
        <source>PRESS OK FOR START</source>
        <translation>ZUM STARTEN OK DRÜCKEN</translation>
    </message>
    <message>
        <source>Break / Exit</source>
        <translation>Abbrechen / Beenden</translation>
    </message>
    <message>
        <source>Download finished</source>
        <translation>Download abgeschlossen</translation>
    </message>
    <message>
        <source>Download ended</source>
        <translation>Download beendet</translation>
    </message>
    <message>
        <source>Downloads one file and shows how far it has come</source>
        <translation>Lädt eine Datei herunter und zeigt, wie weit der Download ist</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Download-Fortschritt</translation>
    </message>
    <message>
        <source>How much of the file is on disk</source>
        <translation>Wie viel von der Datei auf der Festplatte liegt</translation>
    </message>
    <message>
        <source>Stops the download; what has arrived is kept and the next download resumes it</source>
        <translation>Bricht den Download ab; was angekommen ist, bleibt erhalten, und der nächste Download setzt dort fort</translation>
    </message>
</context>
<context>
    <name>CLeftView</name>
    <message>
        <source>This link cannot be added to the download list (only http and https addresses of at most 127 characters):
%1</source>
        <translation>Dieser Link kann nicht in die Download-Liste aufgenommen werden (nur http- und https-Adressen mit höchstens 127 Zeichen):
%1</translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>Untitled</source>
        <translation>Unbenannt</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation>Ö&amp;ffnen...</translation>
    </message>
    <message>
        <source>&amp;Print...</source>
        <translation>&amp;Drucken...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Toolbar</source>
        <translation>&amp;Symbolleiste</translation>
    </message>
    <message>
        <source>&amp;Status Bar</source>
        <translation>Status&amp;leiste</translation>
    </message>
    <message>
        <source>Fo&amp;nts</source>
        <translation>Schrift&amp;größe</translation>
    </message>
    <message>
        <source>Largest</source>
        <translation>Sehr groß</translation>
    </message>
    <message>
        <source>Large</source>
        <translation>Groß</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Klein</translation>
    </message>
    <message>
        <source>Smallest</source>
        <translation>Sehr klein</translation>
    </message>
    <message>
        <source>Sto&amp;p</source>
        <translation>Sto&amp;pp</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>Open in your &amp;web browser</source>
        <translation>Im eigenen &amp;Webbrowser öffnen</translation>
    </message>
    <message>
        <source>&amp;Go</source>
        <translation>&amp;Wechseln zu</translation>
    </message>
    <message>
        <source>&amp;Back</source>
        <translation>&amp;Zurück</translation>
    </message>
    <message>
        <source>&amp;Forward</source>
        <translation>&amp;Vorwärts</translation>
    </message>
    <message>
        <source>&amp;Start Page</source>
        <translation>&amp;Startseite</translation>
    </message>
    <message>
        <source>Search the &amp;Web</source>
        <translation>Im &amp;Web suchen</translation>
    </message>
    <message>
        <source>F&amp;avorites</source>
        <translation>&amp;Favoriten</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Web &amp;Tutorial</source>
        <translation>Web-&amp;Tutorial</translation>
    </message>
    <message>
        <source>Browser Engine on the &amp;Web</source>
        <translation>Browser-Engine im &amp;Web</translation>
    </message>
    <message>
        <source>&amp;Free Stuff</source>
        <translation>&amp;Kostenlose Downloads</translation>
    </message>
    <message>
        <source>&amp;Get Faster Internet Access</source>
        <translation>&amp;Schnellerer Internetzugang</translation>
    </message>
    <message>
        <source>Frequently Asked &amp;Questions</source>
        <translation>Häufig gestellte &amp;Fragen</translation>
    </message>
    <message>
        <source>&amp;Internet Start Page</source>
        <translation>&amp;Internet-Startseite</translation>
    </message>
    <message>
        <source>Send Feedbac&amp;k...</source>
        <translation>Feedback se&amp;nden...</translation>
    </message>
    <message>
        <source>&amp;Best of the Web</source>
        <translation>Das &amp;Beste im Web</translation>
    </message>
    <message>
        <source>Browser Engine &amp;Home Page</source>
        <translation>&amp;Homepage der Browser-Engine</translation>
    </message>
    <message>
        <source>Online &amp;Support</source>
        <translation>Online-&amp;Support</translation>
    </message>
    <message>
        <source>&amp;Program Info</source>
        <translation>&amp;Programminformationen</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>Extras</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Go Tarvex Home Page</source>
        <translation>Zur Tarvex-Homepage</translation>
    </message>
    <message>
        <source>Lar&amp;gest</source>
        <translation>Sehr &amp;groß</translation>
    </message>
    <message>
        <source>&amp;Larger</source>
        <translation>G&amp;rößer</translation>
    </message>
    <message>
        <source>&amp;Medium</source>
        <translation>&amp;Mittel</translation>
    </message>
    <message>
        <source>&amp;Smaller</source>
        <translation>&amp;Kleiner</translation>
    </message>
    <message>
        <source>Sm&amp;allest</source>
        <translation>Sehr k&amp;lein</translation>
    </message>
    <message>
        <source>Browser</source>
        <translation>Browser</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>Vorwärts</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Startseite</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Favorites</source>
        <translation>Favoriten</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Drucken</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>Schrift</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source> Address </source>
        <translation> Adresse </translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>CAP</source>
        <translation>GROSS</translation>
    </message>
    <message>
        <source>NUM</source>
        <translation>NUM</translation>
    </message>
    <message>
        <source>SCRL</source>
        <translation>ROLLEN</translation>
    </message>
    <message>
        <source>TreeCortol-File &apos;download.tmp&apos; open error)</source>
        <translation>Die Arbeitsdatei &apos;download.tmp&apos; kann nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>Nothing to do
Nothing became selects in the tree control
(see on the left site)</source>
        <translation>Nichts zu tun
In der Download-Liste ist nichts angehakt
(siehe links)</translation>
    </message>
    <message>
        <source>The changes made to the list in this window are not saved.</source>
        <translation>Die Änderungen an der Liste in diesem Fenster werden nicht gespeichert.</translation>
    </message>
    <message>
        <source>The download list could not be saved to %1:
%2</source>
        <translation>Die Download-Liste konnte nicht in %1 gespeichert werden:
%2</translation>
    </message>
    <message>
        <source>The address of the page shown; type one and press Enter to open it</source>
        <translation>Die Adresse der angezeigten Seite; eine Adresse eingeben und mit der Eingabetaste öffnen</translation>
    </message>
    <message>
        <source>The download list, the web browser and the log</source>
        <translation>Die Download-Liste, der Webbrowser und das Protokoll</translation>
    </message>
    <message>
        <source>Download list</source>
        <translation>Download-Liste</translation>
    </message>
    <message>
        <source>Folders and links to files on the web; a session checks and downloads the checked links. The menu key or Shift+F10 opens an item&apos;s commands</source>
        <translation>Ordner und Links auf Dateien im Web; eine Sitzung prüft die angehakten Links und lädt sie herunter. Die Menütaste oder Umschalt+F10 öffnet die Befehle eines Eintrags</translation>
    </message>
    <message>
        <source>Web page</source>
        <translation>Webseite</translation>
    </message>
    <message>
        <source>The page the built-in browser shows</source>
        <translation>Die Seite, die der eingebaute Browser zeigt</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>What the sessions and downloads have done, the newest line last</source>
        <translation>Was die Sitzungen und Downloads getan haben, die neueste Zeile zuletzt</translation>
    </message>
</context>
<context>
    <name>CSessionDlg</name>
    <message>
        <source>Load Internetfiles - Please ! First connect the Internet</source>
        <translation>Internetdateien laden – bitte zuerst mit dem Internet verbinden!</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>PRESS OK FOR START</source>
        <translation>ZUM STARTEN OK DRÜCKEN</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>broken off</source>
        <translation>abgebrochen</translation>
    </message>
    <message numerus="yes">
        <source>%n errors</source>
        <translation>
            <numerusform>%n Fehler</numerusform>
            <numerusform>%n Fehler</numerusform>
        </translation>
    </message>
    <message>
        <source>no errors</source>
        <translation>keine Fehler</translation>
    </message>
    <message>
        <source>Download session ended</source>
        <translation>Download-Sitzung beendet</translation>
    </message>
    <message>
        <source>%1 of %2 bytes, %3</source>
        <translation>%1 von %2 Byte, %3</translation>
    </message>
    <message>
        <source>Checks the checked links against their servers and downloads what is new, changed or incomplete</source>
        <translation>Prüft die angehakten Links bei ihren Servern und lädt herunter, was neu, geändert oder unvollständig ist</translation>
    </message>
    <message>
        <source>Current link</source>
        <translation>Aktueller Link</translation>
    </message>
    <message>
        <source>How far the check has come, then how much of the file being downloaded is on disk</source>
        <translation>Wie weit die Prüfung ist, dann wie viel der gerade geladenen Datei auf der Festplatte liegt</translation>
    </message>
    <message>
        <source>Whole session</source>
        <translation>Gesamte Sitzung</translation>
    </message>
    <message>
        <source>How much of the session is done</source>
        <translation>Wie viel der Sitzung erledigt ist</translation>
    </message>
    <message>
        <source>Starts the session</source>
        <translation>Startet die Sitzung</translation>
    </message>
    <message>
        <source>Stops the session; a download broken off resumes in the next session</source>
        <translation>Bricht die Sitzung ab; ein abgebrochener Download wird in der nächsten Sitzung fortgesetzt</translation>
    </message>
</context>
<context>
    <name>CSurfpaneView</name>
    <message>
        <source>Download Files (*.exe *.zip *.rar *.dll *.arj);;All Files (*)</source>
        <translation>Download-Dateien (*.exe *.zip *.rar *.dll *.arj);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>HTML Files (*.htm *.html);;Text Files (*.txt);;GIF Files (*.gif);;JPEG Files (*.jpg *.jpeg);;AU Files (*.au);;AIFF Files (*.aif *.aiff);;XBM Files (*.xbm);;All Files (*)</source>
        <translation>HTML-Dateien (*.htm *.html);;Textdateien (*.txt);;GIF-Dateien (*.gif);;JPEG-Dateien (*.jpg *.jpeg);;AU-Dateien (*.au);;AIFF-Dateien (*.aif *.aiff);;XBM-Dateien (*.xbm);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>This file cannot be downloaded: its address or the chosen file name contains a comma.
%1</source>
        <translation>Diese Datei kann nicht heruntergeladen werden: Ihre Adresse oder der gewählte Dateiname enthält ein Komma.
%1</translation>
    </message>
    <message>
        <source>Open in your web browser</source>
        <translation>Im eigenen Webbrowser öffnen</translation>
    </message>
    <message>
        <source>Add link to the download list</source>
        <translation>Link zur Download-Liste hinzufügen</translation>
    </message>
</context>
<context>
    <name>Command</name>
    <message>
        <source>Stops loading the page.
Stop</source>
        <translation>Bricht das Laden der Seite ab.
Stopp</translation>
    </message>
    <message>
        <source>Loads the page again.
Refresh</source>
        <translation>Lädt die Seite neu.
Aktualisieren</translation>
    </message>
    <message>
        <source>Shows the text in the largest size.
Largest</source>
        <translation>Zeigt den Text in der größten Schrift.
Sehr groß</translation>
    </message>
    <message>
        <source>Shows the text larger.
Larger</source>
        <translation>Zeigt den Text größer.
Größer</translation>
    </message>
    <message>
        <source>Shows the text in its normal size.
Medium</source>
        <translation>Zeigt den Text in normaler Größe.
Mittel</translation>
    </message>
    <message>
        <source>Shows the text smaller.
Smaller</source>
        <translation>Zeigt den Text kleiner.
Kleiner</translation>
    </message>
    <message>
        <source>Shows the text in the smallest size.
Smallest</source>
        <translation>Zeigt den Text in der kleinsten Schrift.
Sehr klein</translation>
    </message>
    <message>
        <source>Goes back one step.
Back</source>
        <translation>Geht einen Schritt zurück.
Zurück</translation>
    </message>
    <message>
        <source>Goes forward one step.
Forward</source>
        <translation>Geht einen Schritt vorwärts.
Vorwärts</translation>
    </message>
    <message>
        <source>Goes to the home page.
Home</source>
        <translation>Wechselt zur Startseite.
Startseite</translation>
    </message>
    <message>
        <source>Opens a page to search the Web.
Search</source>
        <translation>Öffnet eine Seite für die Suche im Web.
Suchen</translation>
    </message>
    <message>
        <source>Shows the favorites.
Favorites</source>
        <translation>Zeigt die Favoriten.
Favoriten</translation>
    </message>
    <message>
        <source>Changes the size of the text.
Font</source>
        <translation>Ändert die Größe des Textes.
Schrift</translation>
    </message>
    <message>
        <source>Opens a tutorial of the browser engine.
Web Tutorial</source>
        <translation>Öffnet ein Tutorial zur Browser-Engine.
Web-Tutorial</translation>
    </message>
    <message>
        <source>Opens the support pages of the browser engine.
Online Support</source>
        <translation>Öffnet die Support-Seiten der Browser-Engine.
Online-Support</translation>
    </message>
    <message>
        <source>Opens the free downloads of the browser engine.
Free Stuff</source>
        <translation>Öffnet die kostenlosen Downloads der Browser-Engine.
Kostenlose Downloads</translation>
    </message>
    <message>
        <source>Opens the notes on a fast browser engine.
Get Faster Internet Access</source>
        <translation>Öffnet die Hinweise zu einer schnellen Browser-Engine.
Schnellerer Internetzugang</translation>
    </message>
    <message>
        <source>Opens the frequently asked questions of the browser engine.
Frequently Asked Questions</source>
        <translation>Öffnet die häufig gestellten Fragen zur Browser-Engine.
Häufig gestellte Fragen</translation>
    </message>
    <message>
        <source>Opens the page for reports on the browser engine.
Send Feedback</source>
        <translation>Öffnet die Seite für Fehlerberichte zur Browser-Engine.
Feedback senden</translation>
    </message>
    <message>
        <source>Opens the news of the browser engine.
Best of the Web</source>
        <translation>Öffnet die Neuigkeiten der Browser-Engine.
Das Beste im Web</translation>
    </message>
    <message>
        <source>Opens a page to search the Web.
Search the Web</source>
        <translation>Öffnet eine Seite für die Suche im Web.
Im Web suchen</translation>
    </message>
    <message>
        <source>Opens the home page of the browser engine.
Browser Engine Home Page</source>
        <translation>Öffnet die Homepage der Browser-Engine.
Homepage der Browser-Engine</translation>
    </message>
    <message>
        <source>Opens an Internet start page.
Internet Start Page</source>
        <translation>Öffnet eine Internet-Startseite.
Internet-Startseite</translation>
    </message>
    <message>
        <source>Checks the checked links and downloads what is new, changed or incomplete.
Download</source>
        <translation>Prüft die angehakten Links und lädt herunter, was neu, geändert oder unvollständig ist.
Herunterladen</translation>
    </message>
    <message>
        <source>Goes to the Tarvex home page.
Tarvex Home Page</source>
        <translation>Wechselt zur Tarvex-Homepage.
Tarvex-Homepage</translation>
    </message>
    <message>
        <source>Opens a file in the browser.
Open</source>
        <translation>Öffnet eine Datei im Browser.
Öffnen</translation>
    </message>
    <message>
        <source>Prints the page.
Print</source>
        <translation>Druckt die Seite.
Drucken</translation>
    </message>
    <message>
        <source>Display program information, version number and copyright
About Tarvex Download Service</source>
        <translation>Zeigt Programminformationen, Versionsnummer und Copyright an.
Info über Tarvex Download Service</translation>
    </message>
    <message>
        <source>Closes the window and ends the program.
Close</source>
        <translation>Schließt das Fenster und beendet das Programm.
Schließen</translation>
    </message>
    <message>
        <source>Shows or hides the toolbar.
Toggle Toolbar</source>
        <translation>Blendet die Symbolleiste ein oder aus.
Symbolleiste ein/aus</translation>
    </message>
    <message>
        <source>Shows or hides the status bar.
Toggle Status Bar</source>
        <translation>Blendet die Statusleiste ein oder aus.
Statusleiste ein/aus</translation>
    </message>
    <message>
        <source>Opens the page in your own web browser.
Open in your web browser</source>
        <translation>Öffnet die Seite im eigenen Webbrowser.
Im eigenen Webbrowser öffnen</translation>
    </message>
</context>
<context>
    <name>CoreTexts</name>
    <message>
        <source>Edit this Item</source>
        <translation>Diesen Eintrag bearbeiten</translation>
    </message>
    <message>
        <source>Add and Edit a new Item</source>
        <translation>Neuen Eintrag anlegen und bearbeiten</translation>
    </message>
    <message>
        <source>Copy this Item</source>
        <translation>Diesen Eintrag kopieren</translation>
    </message>
    <message>
        <source>Paste copyed or killed Item</source>
        <translation>Kopierten oder ausgeschnittenen Eintrag einfügen</translation>
    </message>
    <message>
        <source>Kill and copy this Item</source>
        <translation>Diesen Eintrag ausschneiden</translation>
    </message>
    <message>
        <source>Add and Edit a new DIR</source>
        <translation>Neuen Ordner anlegen und bearbeiten</translation>
    </message>
    <message>
        <source>Kill the downloaded File from the HardDrive</source>
        <translation>Heruntergeladene Datei von der Festplatte löschen</translation>
    </message>
    <message>
        <source>Download this File now</source>
        <translation>Diese Datei jetzt herunterladen</translation>
    </message>
    <message>
        <source>Save this TreeControl</source>
        <translation>Diese Download-Liste speichern</translation>
    </message>
    <message>
        <source>Add and Edit a new Item for this DIR</source>
        <translation>Neuen Eintrag in diesem Ordner anlegen und bearbeiten</translation>
    </message>
    <message>
        <source>Paste copyed Item in this DIR</source>
        <translation>Kopierten Eintrag in diesen Ordner einfügen</translation>
    </message>
    <message>
        <source>Edit this DIR</source>
        <translation>Diesen Ordner bearbeiten</translation>
    </message>
    <message>
        <source>Copy this DIR</source>
        <translation>Diesen Ordner kopieren</translation>
    </message>
    <message>
        <source>Paste copyed or killed DIR</source>
        <translation>Kopierten oder ausgeschnittenen Ordner einfügen</translation>
    </message>
    <message>
        <source>Kill and copy this DIR</source>
        <translation>Diesen Ordner ausschneiden</translation>
    </message>
    <message>
        <source>Kill  this DIR incl. all items (no copy)</source>
        <translation>Diesen Ordner samt allen Einträgen löschen (ohne Kopie)</translation>
    </message>
    <message>
        <source>Save The TreeControl as ....</source>
        <translation>Download-Liste speichern unter ...</translation>
    </message>
    <message>
        <source>Check the TreeControl</source>
        <translation>Download-Liste prüfen</translation>
    </message>
    <message>
        <source>Check and Download</source>
        <translation>Prüfen und herunterladen</translation>
    </message>
    <message>
        <source>Check the files</source>
        <translation>Dateien werden geprüft</translation>
    </message>
    <message>
        <source>DOWNLOAD</source>
        <translation>DOWNLOAD</translation>
    </message>
    <message>
        <source>TEST CONNECT</source>
        <translation>VERBINDUNG WIRD GEPRÜFT</translation>
    </message>
    <message>
        <source>Check if update</source>
        <translation>Auf neue Version prüfen</translation>
    </message>
    <message>
        <source>DownLoding</source>
        <translation>Wird heruntergeladen</translation>
    </message>
    <message>
        <source>check the file: %1</source>
        <translation>Datei wird geprüft: %1</translation>
    </message>
    <message>
        <source>Load Max %1 Byte Download Data</source>
        <translation>Höchstens %1 Byte werden geladen</translation>
    </message>
    <message>
        <source>Download update check file: %1</source>
        <translation>Datei wird auf neue Version geprüft: %1</translation>
    </message>
    <message>
        <source>Download: %1 Byte %2</source>
        <translation>Download: %1 Byte %2</translation>
    </message>
    <message>
        <source>%1 of %2  %3%  %4/s  %5 left</source>
        <translation>%1 von %2  %3 %  %4/s  noch %5</translation>
    </message>
    <message>
        <source>%1 of %2  %3%  %4/s</source>
        <translation>%1 von %2  %3 %  %4/s</translation>
    </message>
    <message>
        <source>%1 of %2  %3/s</source>
        <translation>%1 von %2  %3/s</translation>
    </message>
    <message numerus="yes">
        <source>%n connections</source>
        <translation>
            <numerusform>%n Verbindung</numerusform>
            <numerusform>%n Verbindungen</numerusform>
        </translation>
    </message>
    <message>
        <source>not on disk</source>
        <translation>nicht auf der Festplatte</translation>
    </message>
    <message>
        <source>incomplete (transfer record unreadable)</source>
        <translation>unvollständig (Übertragungsprotokoll nicht lesbar)</translation>
    </message>
    <message>
        <source>incomplete (%1 of %2 bytes)</source>
        <translation>unvollständig (%1 von %2 Byte)</translation>
    </message>
    <message>
        <source>complete (%1 bytes, %2)</source>
        <translation>vollständig (%1 Byte, %2)</translation>
    </message>
    <message>
        <source>Directory not empty</source>
        <translation>Der Ordner ist nicht leer</translation>
    </message>
    <message>
        <source>KILL this DIR complett ? shure ? then press OK</source>
        <translation>Diesen Ordner vollständig löschen? Sicher? Dann OK drücken</translation>
    </message>
    <message>
        <source>This link cannot be downloaded here: its address or its local path (%1) contains a comma.</source>
        <translation>Dieser Link kann hier nicht heruntergeladen werden: Seine Adresse oder sein lokaler Pfad (%1) enthält ein Komma.</translation>
    </message>
    <message>
        <source>There is no downloaded file %1 to delete.</source>
        <translation>Es gibt keine heruntergeladene Datei %1 zum Löschen.</translation>
    </message>
    <message>
        <source>Delete the downloaded file %1 (%2 Byte) from the disk?</source>
        <translation>Die heruntergeladene Datei %1 (%2 Byte) von der Festplatte löschen?</translation>
    </message>
</context>
</TS>
