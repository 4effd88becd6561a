<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AnalysisLogText</name>
    <message numerus="yes">
        <source>%1 :  %n  Records</source>
        <translation>
            <numerusform>%1 :  %n  Datensatz</numerusform>
            <numerusform>%1 :  %n  Datensätze</numerusform>
        </translation>
    </message>
    <message>
        <source>Mendora - Analysis process started...</source>
        <translation>Mendora - Analyse gestartet...</translation>
    </message>
    <message>
        <source>File to be repaired :%1  File Size  : %2  Bytes</source>
        <translation>Zu reparierende Datei :%1  Dateigröße  : %2  Bytes</translation>
    </message>
    <message>
        <source>Analyzing the source file...</source>
        <translation>Die Quelldatei wird analysiert...</translation>
    </message>
    <message>
        <source>%1 :  linked</source>
        <translation>%1 :  verknüpft</translation>
    </message>
    <message>
        <source>%1 :  linked to %2</source>
        <translation>%1 :  verknüpft mit %2</translation>
    </message>
    <message>
        <source>Forms: %1, Reports: %2, Macros: %3, Modules: %4, the source of %5 recovered</source>
        <translation>Formulare: %1, Berichte: %2, Makros: %3, Module: %4, Quelltext von %5 wiederhergestellt</translation>
    </message>
    <message>
        <source>Form and report modules: %1, the source of %2 recovered</source>
        <translation>Formular- und Berichtsmodule: %1, Quelltext von %2 wiederhergestellt</translation>
    </message>
    <message>
        <source>Total Number of Records :</source>
        <translation>Gesamtzahl der Datensätze :</translation>
    </message>
</context>
<context>
    <name>DesktopMessageBoxes</name>
    <message>
        <source>&amp;Open folder</source>
        <translation>&amp;Ordner öffnen</translation>
    </message>
</context>
<context>
    <name>DesktopPasswordDialogs</name>
    <message>
        <source>The database &quot;%1&quot; is encrypted.
Enter its password:</source>
        <translation>Die Datenbank &quot;%1&quot; ist verschlüsselt.
Geben Sie ihr Kennwort ein:</translation>
    </message>
    <message>
        <source>The password is wrong.</source>
        <translation>Das Kennwort ist falsch.</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Kennwort</translation>
    </message>
</context>
<context>
    <name>LossText</name>
    <message>
        <source>Table %1: </source>
        <translation>Tabelle %1: </translation>
    </message>
    <message>
        <source>row %1 of page %2: </source>
        <translation>Zeile %1 auf Seite %2: </translation>
    </message>
    <message>
        <source>page %1: </source>
        <translation>Seite %1: </translation>
    </message>
    <message>
        <source>column %1: </source>
        <translation>Spalte %1: </translation>
    </message>
    <message>
        <source>it was not found</source>
        <translation>sie wurde nicht gefunden</translation>
    </message>
    <message>
        <source>Relation %1</source>
        <translation>Beziehung %1</translation>
    </message>
    <message>
        <source>Relation %1 (%2 to %3)</source>
        <translation>Beziehung %1 (%2 zu %3)</translation>
    </message>
    <message>
        <source>the table definition at page %1</source>
        <translation>die Tabellendefinition auf Seite %1</translation>
    </message>
    <message>
        <source>table %1</source>
        <translation>Tabelle %1</translation>
    </message>
    <message>
        <source>The catalog&apos;s name of %1 is damaged (%2): recovered as %3</source>
        <translation>Der Name im Katalog für %1 ist beschädigt (%2): wiederhergestellt als %3</translation>
    </message>
    <message>
        <source>%1 is %2, a table Access deleted: named %3 from %4</source>
        <translation>%1 ist %2, eine von Access gelöschte Tabelle: benannt als %3 nach %4</translation>
    </message>
    <message>
        <source>%1 has no catalog row: named %2 from %3</source>
        <translation>%1 hat keine Katalogzeile: benannt als %2 nach %3</translation>
    </message>
    <message>
        <source>%1 has no catalog row and its name was not found: recovered as %2</source>
        <translation>%1 hat keine Katalogzeile, und ihr Name wurde nicht gefunden: wiederhergestellt als %2</translation>
    </message>
    <message numerus="yes">
        <source>%n memo values lost</source>
        <translation>
            <numerusform>%n Memo-Wert verloren</numerusform>
            <numerusform>%n Memo-Werte verloren</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n OLE object values lost</source>
        <translation>
            <numerusform>%n OLE-Objekt verloren</numerusform>
            <numerusform>%n OLE-Objekte verloren</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values lost</source>
        <translation>
            <numerusform>%n Wert verloren</numerusform>
            <numerusform>%n Werte verloren</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n %1 values lost</source>
        <translation>
            <numerusform>%n Wert (%1) verloren</numerusform>
            <numerusform>%n Werte (%1) verloren</numerusform>
        </translation>
    </message>
    <message>
        <source>Table %1 was not recovered</source>
        <translation>Tabelle %1 wurde nicht wiederhergestellt</translation>
    </message>
    <message numerus="yes">
        <source>%1 was created unenforced: %n rows of %2 break it</source>
        <translation>
            <numerusform>%1 wurde ohne referentielle Integrität angelegt: %n Zeile von %2 verletzt sie</numerusform>
            <numerusform>%1 wurde ohne referentielle Integrität angelegt: %n Zeilen von %2 verletzen sie</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 was not recovered: table %2 was not recovered</source>
        <translation>%1 wurde nicht wiederhergestellt: Tabelle %2 wurde nicht wiederhergestellt</translation>
    </message>
    <message>
        <source>%1 was not recovered</source>
        <translation>%1 wurde nicht wiederhergestellt</translation>
    </message>
    <message>
        <source>Query %1 was not recovered: table %2 was not recovered</source>
        <translation>Abfrage %1 wurde nicht wiederhergestellt: Tabelle %2 wurde nicht wiederhergestellt</translation>
    </message>
    <message>
        <source>Query %1 was not recovered</source>
        <translation>Abfrage %1 wurde nicht wiederhergestellt</translation>
    </message>
    <message>
        <source>Table %1: index %2 was not recovered</source>
        <translation>Tabelle %1: Index %2 wurde nicht wiederhergestellt</translation>
    </message>
    <message>
        <source>Object %1 was not recovered</source>
        <translation>Objekt %1 wurde nicht wiederhergestellt</translation>
    </message>
    <message>
        <source>Table %1: column %2 has the unknown type %3; its values are kept as their stored bytes</source>
        <translation>Tabelle %1: Spalte %2 hat den unbekannten Typ %3; ihre Werte bleiben als gespeicherte Bytes erhalten</translation>
    </message>
    <message>
        <source>Table %1: column %2</source>
        <translation>Tabelle %1: Spalte %2</translation>
    </message>
    <message>
        <source>the password check in the encryption header is damaged: the password was proven on the catalog instead</source>
        <translation>die Kennwortprüfung im Verschlüsselungskopf ist beschädigt: das Kennwort wurde stattdessen am Katalog geprüft</translation>
    </message>
    <message>
        <source>not recovered, %1 (%2)</source>
        <translation>nicht wiederhergestellt, %1 (%2)</translation>
    </message>
    <message>
        <source>rows unknown</source>
        <translation>Zeilenzahl unbekannt</translation>
    </message>
    <message numerus="yes">
        <source>%n rows</source>
        <translation>
            <numerusform>%n Zeile</numerusform>
            <numerusform>%n Zeilen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 of %n rows</source>
        <translation>
            <numerusform>%1 von %n Zeile</numerusform>
            <numerusform>%1 von %n Zeilen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n damaged rows skipped</source>
        <translation>
            <numerusform>%n beschädigte Zeile übersprungen</numerusform>
            <numerusform>%n beschädigte Zeilen übersprungen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n rows not found</source>
        <translation>
            <numerusform>%n Zeile nicht gefunden</numerusform>
            <numerusform>%n Zeilen nicht gefunden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n rows refused by the target</source>
        <translation>
            <numerusform>%n Zeile vom Ziel abgelehnt</numerusform>
            <numerusform>%n Zeilen vom Ziel abgelehnt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values refused by the target</source>
        <translation>
            <numerusform>%n Wert vom Ziel abgelehnt</numerusform>
            <numerusform>%n Werte vom Ziel abgelehnt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>layout inferred from its rows (%1 of %n column types guessed from the values)</source>
        <translation>
            <numerusform>Aufbau aus ihren Zeilen erschlossen (%1 von %n Spaltentyp aus den Werten geraten)</numerusform>
            <numerusform>Aufbau aus ihren Zeilen erschlossen (%1 von %n Spaltentypen aus den Werten geraten)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Total: %1 of %n rows recovered</source>
        <translation>
            <numerusform>Gesamt: %1 von %n Zeile wiederhergestellt</numerusform>
            <numerusform>Gesamt: %1 von %n Zeilen wiederhergestellt</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 and %2 lost</source>
        <translation>%1 und %2 verloren</translation>
    </message>
    <message numerus="yes">
        <source>%n values</source>
        <translation>
            <numerusform>%n Wert</numerusform>
            <numerusform>%n Werte</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, and the rows of %n lost tables no definition counts</source>
        <translation>
            <numerusform>, dazu die Zeilen von %n verlorenen Tabelle, deren Zeilenzahl keine Definition nennt</numerusform>
            <numerusform>, dazu die Zeilen von %n verlorenen Tabellen, deren Zeilenzahl keine Definition nennt</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n tables</source>
        <translation>
            <numerusform>%n Tabelle</numerusform>
            <numerusform>%n Tabellen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n relations</source>
        <translation>
            <numerusform>%n Beziehung</numerusform>
            <numerusform>%n Beziehungen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n queries</source>
        <translation>
            <numerusform>%n Abfrage</numerusform>
            <numerusform>%n Abfragen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n indexes or keys</source>
        <translation>
            <numerusform>%n Index oder Schlüssel</numerusform>
            <numerusform>%n Indizes oder Schlüssel</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n objects</source>
        <translation>
            <numerusform>%n Objekt</numerusform>
            <numerusform>%n Objekte</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n table names</source>
        <translation>
            <numerusform>%n Tabellenname</numerusform>
            <numerusform>%n Tabellennamen</numerusform>
        </translation>
    </message>
    <message>
        <source>; not recovered: %1</source>
        <translation>; nicht wiederhergestellt: %1</translation>
    </message>
    <message numerus="yes">
        <source>, and %n other parts (named above)</source>
        <translation>
            <numerusform>, dazu %n weiterer Teil (oben genannt)</numerusform>
            <numerusform>, dazu %n weitere Teile (oben genannt)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; and %n other parts (named above)</source>
        <translation>
            <numerusform>; dazu %n weiterer Teil (oben genannt)</numerusform>
            <numerusform>; dazu %n weitere Teile (oben genannt)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>... and %n more parts</source>
        <translation>
            <numerusform>... und %n weiterer Teil</numerusform>
            <numerusform>... und %n weitere Teile</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>mendora::AboutDialog</name>
    <message>
        <source>About Mendora</source>
        <translation>Über Mendora</translation>
    </message>
    <message>
        <source>Licence: %1</source>
        <translation>Lizenz: %1</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Recovers damaged Access databases into new Access or SQLite databases.</source>
        <translation>Stellt beschädigte Access-Datenbanken in neuen Access- oder SQLite-Datenbanken wieder her.</translation>
    </message>
</context>
<context>
    <name>mendora::MainDialog</name>
    <message>
        <source>Source File Path:</source>
        <translation>Pfad der Quelldatei:</translation>
    </message>
    <message>
        <source>&amp;Browse...</source>
        <translation>Du&amp;rchsuchen...</translation>
    </message>
    <message>
        <source>&amp;Next</source>
        <translation>&amp;Weiter</translation>
    </message>
    <message>
        <source>S&amp;top</source>
        <translation>&amp;Stopp</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>Spei&amp;chern</translation>
    </message>
    <message>
        <source>Bac&amp;k</source>
        <translation>&amp;Zurück</translation>
    </message>
    <message>
        <source>&amp;View recovered data</source>
        <translation>Wiederhergestellte Daten &amp;ansehen</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>Ö&amp;ffnen</translation>
    </message>
    <message>
        <source>&amp;Recovery</source>
        <translation>&amp;Wiederherstellen</translation>
    </message>
    <message>
        <source>Recover &amp;deleted rows</source>
        <translation>&amp;Gelöschte Zeilen wiederherstellen</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Content</source>
        <translation>&amp;Inhalt</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>Analysis Completed Successfully<byte value="xd"/>
</source>
        <translation>Analyse erfolgreich abgeschlossen<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>Select Access Database File</source>
        <translation>Access-Datenbankdatei auswählen</translation>
    </message>
    <message>
        <source>Save Recovered Database</source>
        <translation>Wiederhergestellte Datenbank speichern</translation>
    </message>
    <message>
        <source>Access databases (*.mdb *.mde *.accdb *.accde)</source>
        <translation>Access-Datenbanken (*.mdb *.mde *.accdb *.accde)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>It is a folder.</source>
        <translation>Es ist ein Ordner.</translation>
    </message>
    <message>
        <source>Unable to open the file &quot;%1&quot;.
%2</source>
        <translation>Die Datei &quot;%1&quot; kann nicht geöffnet werden.
%2</translation>
    </message>
    <message>
        <source>The file could not be read as an Access database.</source>
        <translation>Die Datei konnte nicht als Access-Datenbank gelesen werden.</translation>
    </message>
    <message>
        <source>The file is encrypted in a way Mendora cannot decrypt. Nothing was read.</source>
        <translation>Die Datei ist auf eine Weise verschlüsselt, die Mendora nicht entschlüsseln kann. Es wurde nichts gelesen.</translation>
    </message>
    <message>
        <source>Nothing could be recovered from the file. Nothing was saved.</source>
        <translation>Aus der Datei konnte nichts wiederhergestellt werden. Es wurde nichts gespeichert.</translation>
    </message>
    <message>
        <source>The analysis stopped before its end.</source>
        <translation>Die Analyse wurde vor ihrem Ende abgebrochen.</translation>
    </message>
    <message>
        <source>The recovered database has been saved to:</source>
        <translation>Die wiederhergestellte Datenbank wurde gespeichert unter:</translation>
    </message>
    <message>
        <source><byte value="xd"/>
What could not be recovered:<byte value="xd"/>
</source>
        <translation><byte value="xd"/>
Was nicht wiederhergestellt werden konnte:<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>The file is encrypted, and no password was given: nothing was read.</source>
        <translation>Die Datei ist verschlüsselt, und es wurde kein Kennwort angegeben: Es wurde nichts gelesen.</translation>
    </message>
    <message>
        <source><byte value="xd"/>
The save was cancelled. Nothing was saved.<byte value="xd"/>
</source>
        <translation><byte value="xd"/>
Das Speichern wurde abgebrochen. Es wurde nichts gespeichert.<byte value="xd"/>
</translation>
    </message>
    <message>
        <source><byte value="xd"/>
The analysis was cancelled. Nothing was saved.<byte value="xd"/>
</source>
        <translation><byte value="xd"/>
Die Analyse wurde abgebrochen. Es wurde nichts gespeichert.<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Abgebrochen</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; already exists.
Do you want to replace it?</source>
        <translation>Die Datei &quot;%1&quot; ist bereits vorhanden.
Möchten Sie sie ersetzen?</translation>
    </message>
    <message>
        <source>No program could be found to open &quot;%1&quot;.</source>
        <translation>Es wurde kein Programm gefunden, das &quot;%1&quot; öffnen kann.</translation>
    </message>
    <message>
        <source><byte value="xd"/>
The analysis process is complete.<byte value="xd"/>
Click Save to save the recovered data.<byte value="xd"/>
</source>
        <translation><byte value="xd"/>
Die Analyse ist abgeschlossen.<byte value="xd"/>
Klicken Sie auf Speichern, um die wiederhergestellten Daten zu speichern.<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>Do you want to stop the current process?</source>
        <translation>Möchten Sie den laufenden Vorgang anhalten?</translation>
    </message>
    <message>
        <source>Do you want to go back?</source>
        <translation>Möchten Sie zurückgehen?</translation>
    </message>
    <message>
        <source>Are you sure you want to close the software?</source>
        <translation>Möchten Sie das Programm wirklich schließen?</translation>
    </message>
    <message>
        <source>Unable to locate the software&apos;s Help file.</source>
        <translation>Die Hilfedatei des Programms wurde nicht gefunden.</translation>
    </message>
    <message numerus="yes">
        <source>%Ln rows read so far</source>
        <translation>
            <numerusform>Bisher %Ln Zeile gelesen</numerusform>
            <numerusform>Bisher %Ln Zeilen gelesen</numerusform>
        </translation>
    </message>
    <message>
        <source>Reading %1: %2, %3 in all</source>
        <translation>Lese %1: %2, insgesamt %3</translation>
    </message>
    <message>
        <source>The recovered data could not be written. Nothing was saved.</source>
        <translation>Die wiederhergestellten Daten konnten nicht geschrieben werden. Es wurde nichts gespeichert.</translation>
    </message>
    <message>
        <source>%1 recovered from %2</source>
        <translation>%1 aus %2 wiederhergestellt</translation>
    </message>
    <message numerus="yes">
        <source>%Ln tables</source>
        <translation>
            <numerusform>%Ln Tabelle</numerusform>
            <numerusform>%Ln Tabellen</numerusform>
        </translation>
    </message>
    <message>
        <source>The source is encrypted; the recovered data is not.</source>
        <translation>Die Quelldatei ist verschlüsselt, die wiederhergestellten Daten sind es nicht.</translation>
    </message>
    <message>
        <source>The recovered data has been exported to:</source>
        <translation>Die wiederhergestellten Daten wurden exportiert nach:</translation>
    </message>
    <message>
        <source>Not everything in the file could be recovered: what was lost is listed at the end of the log.</source>
        <translation>Nicht alles in der Datei konnte wiederhergestellt werden: Was verloren ist, steht am Ende des Protokolls.</translation>
    </message>
    <message numerus="yes">
        <source>%Ln rows</source>
        <translation>
            <numerusform>%Ln Zeile</numerusform>
            <numerusform>%Ln Zeilen</numerusform>
        </translation>
    </message>
    <message>
        <source>The analysis is complete, but not everything in the file could be recovered:</source>
        <translation>Die Analyse ist abgeschlossen, aber nicht alles in der Datei konnte wiederhergestellt werden:</translation>
    </message>
    <message numerus="yes">
        <source>... and %Ln more tables</source>
        <translation>
            <numerusform>... und %Ln weitere Tabelle</numerusform>
            <numerusform>... und %Ln weitere Tabellen</numerusform>
        </translation>
    </message>
    <message>
        <source>What was lost is also listed at the end of the log.</source>
        <translation>Was verloren ist, steht auch am Ende des Protokolls.</translation>
    </message>
    <message numerus="yes">
        <source>... and %Ln more</source>
        <translation>
            <numerusform>... und %Ln weiterer Verlust</numerusform>
            <numerusform>... und %Ln weitere Verluste</numerusform>
        </translation>
    </message>
    <message>
        <source><byte value="xd"/>
Stopped while reading %1, after %2.<byte value="xd"/>
</source>
        <translation><byte value="xd"/>
Angehalten beim Lesen von %1, nach %2.<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>The recovered data cannot be written over the file being repaired.
Choose another name.</source>
        <translation>Die wiederhergestellten Daten können nicht über die zu reparierende Datei geschrieben werden.
Wählen Sie einen anderen Namen.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is a file, and this format writes a folder.
Choose another name.</source>
        <translation>&quot;%1&quot; ist eine Datei, und dieses Format schreibt einen Ordner.
Wählen Sie einen anderen Namen.</translation>
    </message>
    <message>
        <source>The folder &quot;%1&quot; is not empty.
Files in it with the names of recovered tables will be replaced. Do you want to go on?</source>
        <translation>Der Ordner &quot;%1&quot; ist nicht leer.
Dateien darin mit den Namen wiederhergestellter Tabellen werden ersetzt. Möchten Sie fortfahren?</translation>
    </message>
    <message>
        <source>The save is still running. Do you want to stop it and close Mendora? Nothing will be saved.</source>
        <translation>Das Speichern läuft noch. Möchten Sie es abbrechen und Mendora schließen? Es wird nichts gespeichert.</translation>
    </message>
    <message>
        <source>The analysis is still running. Do you want to stop it and close Mendora?</source>
        <translation>Die Analyse läuft noch. Möchten Sie sie abbrechen und Mendora schließen?</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is a folder, and this format writes a file.
Choose another name.</source>
        <translation>&quot;%1&quot; ist ein Ordner, und dieses Format schreibt eine Datei.
Wählen Sie einen anderen Namen.</translation>
    </message>
    <message>
        <source>Save re&amp;port...</source>
        <translation>Berich&amp;t speichern...</translation>
    </message>
    <message>
        <source>The report of what was recovered and lost is beside it:</source>
        <translation>Der Bericht über das Wiederhergestellte und das Verlorene liegt daneben:</translation>
    </message>
    <message>
        <source>The report could not be written to &quot;%1&quot;: %2</source>
        <translation>Der Bericht konnte nicht nach &quot;%1&quot; geschrieben werden: %2</translation>
    </message>
    <message>
        <source>HTML page (*.html)</source>
        <translation>HTML-Seite (*.html)</translation>
    </message>
    <message>
        <source>Text (*.txt)</source>
        <translation>Text (*.txt)</translation>
    </message>
    <message>
        <source>Save Report</source>
        <translation>Bericht speichern</translation>
    </message>
    <message>
        <source>The report cannot be written over &quot;%1&quot;.
Choose another name.</source>
        <translation>Der Bericht kann nicht über &quot;%1&quot; geschrieben werden.
Wählen Sie einen anderen Namen.</translation>
    </message>
    <message>
        <source>The report has been saved to %1</source>
        <translation>Der Bericht wurde unter %1 gespeichert</translation>
    </message>
</context>
<context>
    <name>mendora::PreviewModel</name>
    <message>
        <source>(lost)</source>
        <translation>(verloren)</translation>
    </message>
    <message>
        <source>This value could not be recovered.</source>
        <translation>Dieser Wert konnte nicht wiederhergestellt werden.</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>mendora::PreviewWindow</name>
    <message>
        <source>Nothing</source>
        <translation>Nichts</translation>
    </message>
    <message>
        <source>Recovered data - %1</source>
        <translation>Wiederhergestellte Daten - %1</translation>
    </message>
    <message>
        <source>Table</source>
        <translation>Tabelle</translation>
    </message>
    <message>
        <source>Rows</source>
        <translation>Zeilen</translation>
    </message>
    <message>
        <source>What was lost</source>
        <translation>Was verloren ging</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>No table was recovered.</source>
        <translation>Es wurde keine Tabelle wiederhergestellt.</translation>
    </message>
    <message>
        <source>The source cannot be read again: %1</source>
        <translation>Die Quelle kann nicht erneut gelesen werden: %1</translation>
    </message>
    <message>
        <source>The table &quot;%1&quot; cannot be read again.</source>
        <translation>Die Tabelle &quot;%1&quot; kann nicht erneut gelesen werden.</translation>
    </message>
    <message>
        <source>Filter the tables by name</source>
        <translation>Tabellen nach Namen filtern</translation>
    </message>
    <message>
        <source>This table is too large to sort here; it is shown in the order it is stored.</source>
        <translation>Diese Tabelle ist zu groß, um hier sortiert zu werden; sie wird in ihrer gespeicherten Reihenfolge gezeigt.</translation>
    </message>
    <message>
        <source>Find in the rows (Enter finds the next)</source>
        <translation>In den Zeilen suchen (Eingabetaste sucht weiter)</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not in this table.</source>
        <translation>&quot;%1&quot; kommt in dieser Tabelle nicht vor.</translation>
    </message>
    <message>
        <source>Found in row %1.</source>
        <translation>Gefunden in Zeile %1.</translation>
    </message>
    <message>
        <source>; its definition is gone and its columns were inferred from its rows (a column&apos;s header tells how)</source>
        <translation>; seine Definition fehlt, seine Spalten wurden aus seinen Zeilen erschlossen (der Spaltenkopf sagt, wie)</translation>
    </message>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>Bericht</translation>
    </message>
    <message>
        <source>Macro</source>
        <translation>Makro</translation>
    </message>
    <message>
        <source>Class module</source>
        <translation>Klassenmodul</translation>
    </message>
    <message>
        <source>Module</source>
        <translation>Modul</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>Partly</source>
        <translation>Teilweise</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>&amp;Tables</source>
        <translation>&amp;Tabellen</translation>
    </message>
    <message>
        <source>&amp;Forms, reports, macros and modules</source>
        <translation>&amp;Formulare, Berichte, Makros und Module</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Art</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Recovered</source>
        <translation>Wiederhergestellt</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>%1, the module of %2</source>
        <translation>%1, das Modul von %2</translation>
    </message>
    <message>
        <source>its definition holds nothing that reads as text</source>
        <translation>seine Definition enthält nichts, was sich als Text lesen lässt</translation>
    </message>
    <message>
        <source>nothing of it could be read</source>
        <translation>nichts davon konnte gelesen werden</translation>
    </message>
    <message>
        <source>it was not recovered whole</source>
        <translation>es wurde nicht vollständig wiederhergestellt</translation>
    </message>
    <message>
        <source>it was not recovered whole: %1</source>
        <translation>es wurde nicht vollständig wiederhergestellt: %1</translation>
    </message>
</context>
<context>
    <name>mendora::RecoveryApp</name>
    <message>
        <source>The database to open, as if chosen with Browse.</source>
        <translation>Die zu öffnende Datenbank, als wäre sie mit Durchsuchen gewählt.</translation>
    </message>
    <message>
        <source>Recovers damaged Access databases into new Access or SQLite databases.</source>
        <translation>Stellt beschädigte Access-Datenbanken in neuen Access- oder SQLite-Datenbanken wieder her.</translation>
    </message>
</context>
<context>
    <name>mendora::SaveOption</name>
    <message>
        <source>SQLite database</source>
        <translation>SQLite-Datenbank</translation>
    </message>
    <message>
        <source>CSV files, one per table, in a folder</source>
        <translation>CSV-Dateien, eine je Tabelle, in einem Ordner</translation>
    </message>
    <message>
        <source>JSON Lines</source>
        <translation>JSON Lines</translation>
    </message>
    <message>
        <source>SQL script for PostgreSQL</source>
        <translation>SQL-Skript für PostgreSQL</translation>
    </message>
    <message>
        <source>SQL script for MySQL and MariaDB</source>
        <translation>SQL-Skript für MySQL und MariaDB</translation>
    </message>
    <message>
        <source>SQL script for SQLite</source>
        <translation>SQL-Skript für SQLite</translation>
    </message>
    <message>
        <source>Access database</source>
        <translation>Access-Datenbank</translation>
    </message>
</context>
</TS>
