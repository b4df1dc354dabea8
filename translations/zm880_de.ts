<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>zm880::app::QtUserDialogs</name>
    <message>
        <source>Config File *.cfg (*.cfg)</source>
        <translation>Konfigurationsdatei *.cfg (*.cfg)</translation>
    </message>
    <message>
        <source>All Files *.* (*)</source>
        <translation>Alle Dateien *.* (*)</translation>
    </message>
    <message>
        <source>Save Config</source>
        <translation>Konfiguration speichern</translation>
    </message>
    <message>
        <source>Config Files *.cfg (*.cfg)</source>
        <translation>Konfigurationsdateien *.cfg (*.cfg)</translation>
    </message>
    <message>
        <source>Update File (intel) (*.hex)</source>
        <translation>Update-Datei (Intel) (*.hex)</translation>
    </message>
    <message>
        <source>All (*)</source>
        <translation>Alle (*)</translation>
    </message>
    <message>
        <source>Profile *.json (*.json)</source>
        <translation>Profil *.json (*.json)</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>Profil</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Anwenden</translation>
    </message>
    <message>
        <source>Discard</source>
        <translation>Verwerfen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
        <source>Save as CSV</source>
        <translation>Als CSV speichern</translation>
    </message>
    <message>
        <source>CSV *.csv (*.csv)</source>
        <translation>CSV *.csv (*.csv)</translation>
    </message>
</context>
<context>
    <name>zm880::app::TApplyToAllCommand</name>
    <message>
        <source>%1: done</source>
        <translation>%1: erledigt</translation>
    </message>
    <message>
        <source>%1: failed: %2</source>
        <translation>%1: fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>Apply to all readers: %1 done, %2 skipped, %3 failed</source>
        <translation>Auf alle Leser anwenden: %1 erledigt, %2 übersprungen, %3 fehlgeschlagen</translation>
    </message>
    <message>
        <source>the reader is of type %1, the settings shown are for type %2</source>
        <translation>der Leser ist vom Typ %1, die angezeigten Einstellungen sind für Typ %2</translation>
    </message>
    <message>
        <source>neither XDG_STATE_HOME nor HOME is set; no place for the backup; nothing written</source>
        <translation>weder XDG_STATE_HOME noch HOME ist gesetzt; kein Ort für die Sicherung; nichts geschrieben</translation>
    </message>
    <message>
        <source>reader %1</source>
        <translation>Leser %1</translation>
    </message>
    <message>
        <source>%1: skipped: %2</source>
        <translation>%1: übersprungen: %2</translation>
    </message>
    <message>
        <source>the reader was removed</source>
        <translation>der Leser wurde entfernt</translation>
    </message>
    <message>
        <source>the reader was removed: %1</source>
        <translation>der Leser wurde entfernt: %1</translation>
    </message>
    <message numerus="yes">
        <source>Write the settings shown to all %n readers attached?</source>
        <translation>
            <numerusform>Die angezeigten Einstellungen auf den angeschlossenen Leser schreiben?</numerusform>
            <numerusform>Die angezeigten Einstellungen auf alle %n angeschlossenen Leser schreiben?</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>zm880::app::TInfoBox</name>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Software-Title</source>
        <translation>Software-Titel</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>Vendor name:</source>
        <translation>Hersteller:</translation>
    </message>
    <message>
        <source>Product name:</source>
        <translation>Produkt:</translation>
    </message>
    <message>
        <source>VID:</source>
        <translation>VID:</translation>
    </message>
    <message>
        <source>PID:</source>
        <translation>PID:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>zm880::app::TMainForm</name>
    <message>
        <source>Tavrenix ZM880 - Utility</source>
        <translation>Tavrenix ZM880 - Utility</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Update Firmware</source>
        <translation>&amp;Firmware aktualisieren</translation>
    </message>
    <message>
        <source>&amp;Load Config</source>
        <translation>Konfiguration &amp;laden</translation>
    </message>
    <message>
        <source>&amp;Save Config</source>
        <translation>Konfiguration &amp;speichern</translation>
    </message>
    <message>
        <source>&amp;Read Config</source>
        <translation>Konfiguration &amp;einlesen</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Reset Default</source>
        <translation>&amp;Standardwerte</translation>
    </message>
    <message>
        <source>&amp;Info</source>
        <translation>&amp;Info</translation>
    </message>
    <message>
        <source>Connect the USB device and push the config-button.</source>
        <translation>Schließen Sie das USB-Gerät an und drücken Sie die Konfigurationstaste.</translation>
    </message>
    <message>
        <source>Device settings could not be read</source>
        <translation>Die Geräteeinstellungen konnten nicht gelesen werden</translation>
    </message>
    <message>
        <source>The settings shown are the ones read before.</source>
        <translation>Angezeigt werden die zuvor gelesenen Einstellungen.</translation>
    </message>
    <message>
        <source>modified</source>
        <translation>geändert</translation>
    </message>
    <message>
        <source>Device settings could not be written</source>
        <translation>Die Geräteeinstellungen konnten nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Device settings written, but they could not be read back: </source>
        <translation>Geräteeinstellungen geschrieben, aber sie konnten nicht zurückgelesen werden: </translation>
    </message>
    <message>
        <source>Device settings written, but the reader did not keep byte %1</source>
        <translation>Geräteeinstellungen geschrieben, aber der Leser hat Byte %1 nicht übernommen</translation>
    </message>
    <message>
        <source>Device settings written, but the reader did not keep bytes %1</source>
        <translation>Geräteeinstellungen geschrieben, aber der Leser hat die Bytes %1 nicht übernommen</translation>
    </message>
    <message>
        <source>Device-Settings updated</source>
        <translation>Geräteeinstellungen aktualisiert</translation>
    </message>
    <message>
        <source>Device settings</source>
        <translation>Geräteeinstellungen</translation>
    </message>
    <message>
        <source>&amp;Provisioning Mode...</source>
        <translation>&amp;Provisionierungsmodus...</translation>
    </message>
    <message>
        <source>Apply to &amp;All Readers</source>
        <translation>Auf &amp;alle Leser anwenden</translation>
    </message>
    <message>
        <source>The settings shown have not been applied to the reader.

Apply them before closing?</source>
        <translation>Die angezeigten Einstellungen wurden nicht auf den Leser angewendet.

Vor dem Schließen anwenden?</translation>
    </message>
    <message>
        <source>This reader is still in its firmware loader: run the update again (File &gt; Update Firmware)</source>
        <translation>Dieser Leser ist noch in seinem Firmware-Lader: das Update erneut ausführen (Datei &gt; Firmware aktualisieren)</translation>
    </message>
    <message>
        <source>Firmware updated. </source>
        <translation>Firmware aktualisiert. </translation>
    </message>
    <message>
        <source>Firmware updated; the settings shown were read from the reader again</source>
        <translation>Firmware aktualisiert; die angezeigten Einstellungen wurden erneut vom Leser gelesen</translation>
        <source>&amp;About...</source>
        <translation>Ü&amp;ber...</translation>
    </message>
    <message>
        <source>&amp;Readers...</source>
        <translation>&amp;Leser...</translation>
    </message>
</context>
<context>
    <name>zm880::app::TProvisioningDialog</name>
    <message>
        <source>Provisioning</source>
        <translation>Provisionierung</translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation>Profil:</translation>
    </message>
    <message>
        <source>Firmware:</source>
        <translation>Firmware:</translation>
    </message>
    <message>
        <source>none: the firmware stays as it is</source>
        <translation>keine: die Firmware bleibt, wie sie ist</translation>
    </message>
    <message>
        <source>Choose...</source>
        <translation>Auswählen...</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Time (UTC)</source>
        <translation>Zeit (UTC)</translation>
    </message>
    <message>
        <source>Reader</source>
        <translation>Leser</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Backup</source>
        <translation>Sicherung</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Done: %1    Failed: %2</source>
        <translation>Erledigt: %1    Fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>Stopping after the reader in hand...</source>
        <translation>Hält nach dem Leser in Arbeit an...</translation>
    </message>
    <message>
        <source>Waiting for readers: plug them in one after another.</source>
        <translation>Warte auf Leser: stecken Sie sie nacheinander ein.</translation>
    </message>
    <message>
        <source>Choose a profile to start.</source>
        <translation>Wählen Sie ein Profil, um zu beginnen.</translation>
    </message>
    <message>
        <source>Stopped.</source>
        <translation>Angehalten.</translation>
    </message>
    <message>
        <source>Readers are being provisioned. Stop after the reader in hand and close this window? Its list of results is then gone.</source>
        <translation>Leser werden gerade provisioniert. Nach dem aktuellen Leser anhalten und dieses Fenster schließen? Seine Ergebnisliste geht dann verloren.</translation>
    </message>
    <message>
        <source>ERROR: Bad Update-File
the name must end in .hex, in lower case</source>
        <translation>FEHLER: Ungültige Update-Datei
der Name muss auf .hex enden, in Kleinbuchstaben</translation>
    </message>
    <message>
        <source>The profile is refused: %1</source>
        <translation>Das Profil wird abgelehnt: %1</translation>
    </message>
    <message>
        <source>%1 (line %2)</source>
        <translation>%1 (Zeile %2)</translation>
    </message>
    <message>
        <source>%1.

Update every reader anyway?</source>
        <translation>%1.

Trotzdem jeden Leser aktualisieren?</translation>
    </message>
    <message>
        <source>neither XDG_STATE_HOME nor HOME is set; no place for the backups</source>
        <translation>weder XDG_STATE_HOME noch HOME ist gesetzt; kein Ort für die Sicherungen</translation>
    </message>
    <message>
        <source>ok</source>
        <translation>ok</translation>
    </message>
    <message>
        <source>no field changed</source>
        <translation>kein Feld geändert</translation>
    </message>
    <message>
        <source>failed: %1</source>
        <translation>fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Press Start to begin.</source>
        <translation>Drücken Sie Starten, um zu beginnen.</translation>
    </message>
    <message>
        <source>The run ended: %1</source>
        <translation>Der Lauf wurde beendet: %1</translation>
    </message>
</context>
<context>
    <name>zm880::cfgfile_gui::ProfileFile</name>
    <message>
        <source>file not found: %1</source>
        <translation>Datei nicht gefunden: %1</translation>
    </message>
    <message>
        <source>unable to open file: %1</source>
        <translation>Datei kann nicht geöffnet werden: %1</translation>
    </message>
    <message>
        <source>unable to open file: %1: %2</source>
        <translation>Datei kann nicht geöffnet werden: %1: %2</translation>
    </message>
    <message>
        <source>unable to create file: %1</source>
        <translation>Datei kann nicht angelegt werden: %1</translation>
    </message>
    <message>
        <source>not a profile: %1: %2</source>
        <translation>kein Profil: %1: %2</translation>
    </message>
</context>
<context>
    <name>zm880::cfgfile_gui::TConfigFileCommands</name>
    <message>
        <source>type %1</source>
        <translation>Typ %1</translation>
    </message>
    <message>
        <source>type %1 (%2)</source>
        <translation>Typ %1 (%2)</translation>
    </message>
    <message>
        <source>This configuration file is for a reader of %1, but the attached reader is of %2.
Load it anyway?</source>
        <translation>Diese Konfigurationsdatei ist für einen Leser vom %1, der angeschlossene Leser ist aber vom %2.
Trotzdem laden?</translation>
    </message>
    <message>
        <source>file is empty: %1</source>
        <translation>Die Datei ist leer: %1</translation>
    </message>
    <message>
        <source>not a settings file (its first byte is not 3): %1</source>
        <translation>Keine Einstellungsdatei (ihr erstes Byte ist nicht 3): %1</translation>
    </message>
    <message>
        <source>Config-File settings (%1)</source>
        <translation>Einstellungen aus Konfigurationsdatei (%1)</translation>
    </message>
    <message>
        <source>no settings to save as a profile (the buffer holds report %1): %2</source>
        <translation>keine Einstellungen, die als Profil gespeichert werden können (der Puffer enthält Report %1): %2</translation>
    </message>
    <message>
        <source>modified; saved to %1</source>
        <translation>geändert; gespeichert in %1</translation>
    </message>
    <message>
        <source>Settings saved to %1</source>
        <translation>Einstellungen gespeichert in %1</translation>
    </message>
    <message>
        <source>The profile %1 is refused: %2</source>
        <translation>Das Profil %1 wird abgelehnt: %2</translation>
    </message>
    <message>
        <source>Profile settings (%1)</source>
        <translation>Einstellungen aus Profil (%1)</translation>
    </message>
</context>
<context>
    <name>zm880::diag_gui::TRawConsolePage</name>
    <message>
        <source>Report</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>Lesen</translation>
    </message>
    <message>
        <source>Write</source>
        <translation>Schreiben</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Back to the settings (Esc)</source>
        <translation>Zurück zu den Einstellungen (Esc)</translation>
    </message>
</context>
<context>
    <name>zm880::flasher_gui::TFlasherForm</name>
    <message>
        <source>Flasher</source>
        <translation>Flasher</translation>
    </message>
    <message>
        <source>Update: </source>
        <translation>Update: </translation>
    </message>
    <message>
        <source>please wait</source>
        <translation>warten...</translation>
    </message>
    <message>
        <source>ready</source>
        <translation>fertig</translation>
    </message>
    <message>
        <source>close</source>
        <translation>schließen</translation>
    </message>
</context>
<context>
    <name>zm880::flasher_gui::TUpdateCommand</name>
    <message>
        <source>ERROR: Bad Update-File
the name must end in .hex, in lower case</source>
        <translation>FEHLER: Ungültige Update-Datei
der Name muss auf .hex enden, in Kleinbuchstaben</translation>
    </message>
    <message>
        <source>ACCESS ERROR
the reader&apos;s device object could not be taken for the update; unplug and replug the reader</source>
        <translation>ZUGRIFFSFEHLER
das Gerät des Lesers konnte für das Update nicht übernommen werden; Leser abziehen und wieder anstecken</translation>
    </message>
    <message>
        <source>%1.

Update anyway?</source>
        <translation>%1.

Trotzdem aktualisieren?</translation>
    </message>
</context>
<context>
    <name>zm880::inventory_gui::TReadersDialog</name>
    <message>
        <source>Readers</source>
        <translation>Leser</translation>
    </message>
    <message>
        <source>Compare with profile...</source>
        <translation>Mit Profil vergleichen...</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Save as CSV...</source>
        <translation>Als CSV speichern...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>#</source>
        <translation>#</translation>
    </message>
    <message>
        <source>Device path</source>
        <translation>Gerätepfad</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>Manufacturer</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>Product</source>
        <translation>Produkt</translation>
    </message>
    <message>
        <source>Release</source>
        <translation>USB-Version</translation>
    </message>
    <message>
        <source>Record version</source>
        <translation>Datensatzversion</translation>
    </message>
    <message>
        <source>Reader type</source>
        <translation>Lesertyp</translation>
    </message>
    <message>
        <source>Type name</source>
        <translation>Typname</translation>
    </message>
    <message>
        <source>Feature report</source>
        <translation>Feature-Report</translation>
    </message>
    <message>
        <source>Accessible</source>
        <translation>Zugänglich</translation>
    </message>
    <message>
        <source>In firmware loader</source>
        <translation>Im Firmware-Lader</translation>
    </message>
    <message>
        <source>Settings digest</source>
        <translation>Einstellungs-Prüfsumme</translation>
    </message>
    <message>
        <source>Not read because</source>
        <translation>Nicht gelesen, weil</translation>
    </message>
    <message>
        <source>not read</source>
        <translation>nicht gelesen</translation>
    </message>
    <message>
        <source>matches</source>
        <translation>stimmt überein</translation>
    </message>
    <message>
        <source>Profile %1</source>
        <translation>Profil %1</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>ja</translation>
    </message>
    <message>
        <source>no</source>
        <translation>nein</translation>
    </message>
</context>
<context>
    <name>zm880::reader_gui::TSettingsPage</name>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Enter</source>
        <translation>Enter</translation>
    </message>
    <message>
        <source>Tab</source>
        <translation>Tab</translation>
    </message>
    <message>
        <source>USB-HID-Keyboard</source>
        <translation>USB-HID-Tastatur</translation>
    </message>
    <message>
        <source>USB-VCOM</source>
        <translation>USB-VCOM</translation>
    </message>
    <message>
        <source>RS-232</source>
        <translation>RS-232</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Anwenden</translation>
    </message>
    <message>
        <source>I&amp;nterface :</source>
        <translation>Sch&amp;nittstelle :</translation>
    </message>
    <message>
        <source>Direct Mode</source>
        <translation>Direktmodus</translation>
    </message>
    <message>
        <source>Read Data</source>
        <translation>Daten lesen</translation>
    </message>
    <message>
        <source>Segment:</source>
        <translation>Segment:</translation>
    </message>
    <message>
        <source>Offset:</source>
        <translation>Offset:</translation>
    </message>
    <message>
        <source>Count:</source>
        <translation>Anzahl:</translation>
    </message>
    <message>
        <source>LF-Tags</source>
        <translation>LF-Tags</translation>
    </message>
    <message>
        <source>HF-Tags</source>
        <translation>HF-Tags</translation>
    </message>
    <message>
        <source>Legic</source>
        <translation>Legic</translation>
    </message>
    <message>
        <source>set all</source>
        <translation>alle an</translation>
    </message>
    <message>
        <source>clear all</source>
        <translation>alle aus</translation>
    </message>
    <message>
        <source>Start addr :</source>
        <translation>Startadr. :</translation>
    </message>
    <message>
        <source>Length:</source>
        <translation>Länge:</translation>
    </message>
    <message>
        <source>max. Length:</source>
        <translation>max. Länge:</translation>
    </message>
    <message>
        <source>bytes</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>Type: </source>
        <translation>Typ: </translation>
    </message>
    <message>
        <source>Baud :</source>
        <translation>Baud :</translation>
    </message>
    <message>
        <source>HID-&amp;Keyboard-Option :</source>
        <translation>HID-&amp;Tastatur-Optionen :</translation>
    </message>
    <message>
        <source>&amp;Suffix :</source>
        <translation>&amp;Suffix :</translation>
    </message>
    <message>
        <source>&amp;Prefix :</source>
        <translation>&amp;Präfix :</translation>
    </message>
    <message>
        <source>unknown type %1</source>
        <translation>unbek. Typ %1</translation>
    </message>
    <message>
        <source>Add Tag Type</source>
        <translation>Mit Tag-Typ</translation>
    </message>
    <message>
        <source>Use Alt-Key</source>
        <translation>Alt-Taste verwenden</translation>
    </message>
    <message>
        <source>Byte Mirror</source>
        <translation>Bytes spiegeln</translation>
    </message>
    <message>
        <source>Bit Mirror</source>
        <translation>Bits spiegeln</translation>
    </message>
    <message>
        <source>Use User Cmd (-1=off)</source>
        <translation>Benutzerbefehl (-1=aus)</translation>
    </message>
    <message>
        <source>Char Delay (ms):</source>
        <translation>Zeichenverzög. (ms):</translation>
    </message>
    <message>
        <source>Double Timeout (sec):</source>
        <translation>Doppel-Timeout (s):</translation>
    </message>
    <message>
        <source>No settings are loaded</source>
        <translation>Keine Einstellungen geladen</translation>
    </message>
    <message>
        <source>Apply to all readers</source>
        <translation>Auf alle Leser anwenden</translation>
    </message>
</context>
</TS>
