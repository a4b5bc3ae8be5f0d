<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>StringTable</name>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Finish</source>
        <translation>Fertigstellen</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Modell</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Please select the language.</source>
        <translation>Bitte wählen Sie die Sprache aus.</translation>
    </message>
    <message>
        <source>Select a port for updating</source>
        <translation>Anschluss für die Aktualisierung auswählen</translation>
    </message>
    <message>
        <source>Network (Port9100)</source>
        <translation>Netzwerk (Port 9100)</translation>
    </message>
    <message>
        <source>USB</source>
        <translation>USB</translation>
    </message>
    <message>
        <source>When updating Firmware via Network interface. do not print jobs or open the printer driver properties until the update is completed.</source>
        <translation>Während die Firmware über die Netzwerkschnittstelle aktualisiert wird, drucken Sie keine Aufträge und öffnen Sie nicht die Eigenschaften des Druckertreibers, bis die Aktualisierung abgeschlossen ist.</translation>
    </message>
    <message>
        <source>When updating Firmware via USB interface. do not print jobs or open the printer driver properties until the update is completed.</source>
        <translation>Während die Firmware über die USB-Schnittstelle aktualisiert wird, drucken Sie keine Aufträge und öffnen Sie nicht die Eigenschaften des Druckertreibers, bis die Aktualisierung abgeschlossen ist.</translation>
    </message>
    <message>
        <source>Please select printers to update.</source>
        <translation>Bitte wählen Sie die zu aktualisierenden Drucker aus.</translation>
    </message>
    <message>
        <source>Update data will be sent to the printer when you click Next.</source>
        <translation>Die Aktualisierungsdaten werden an den Drucker gesendet, wenn Sie auf „Weiter“ klicken.</translation>
    </message>
    <message>
        <source>Do not switch off the power until the Ready indicator lights, or [Ready to print] is displayed.</source>
        <translation>Schalten Sie das Gerät nicht aus, bis die Bereit-Anzeige leuchtet oder [Druckbereit] angezeigt wird.</translation>
    </message>
    <message>
        <source>Module Name</source>
        <translation>Modulname</translation>
    </message>
    <message>
        <source>Community</source>
        <translation>Community-Name</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>File Size</source>
        <translation>Dateigröße</translation>
    </message>
    <message>
        <source>Release Date</source>
        <translation>Veröffentlichungsdatum</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>Printer Name</source>
        <translation>Druckername</translation>
    </message>
    <message>
        <source>Printer F/W</source>
        <translation>Drucker-Firmware</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Serial No.</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Firmware download completed!</source>
        <translation>Die Firmware wurde vollständig übertragen!</translation>
    </message>
    <message>
        <source>Firmware download via USB fail!</source>
        <translation>Die Übertragung der Firmware über USB ist fehlgeschlagen!</translation>
    </message>
    <message>
        <source>Firmware download via Network fail!</source>
        <translation>Die Übertragung der Firmware über das Netzwerk ist fehlgeschlagen!</translation>
    </message>
    <message>
        <source>The IP Address is repeated.</source>
        <translation>Die IP-Adresse ist bereits in der Liste.</translation>
    </message>
    <message>
        <source>Please make sure that the MFP is connected correctly.</source>
        <translation>Bitte prüfen Sie, ob das Multifunktionsgerät richtig angeschlossen ist.</translation>
    </message>
    <message>
        <source>Unable to download data to the printer:</source>
        <translation>Die Daten können nicht an den Drucker übertragen werden:</translation>
    </message>
    <message>
        <source>Add IP Address</source>
        <translation>IP-Adresse hinzufügen</translation>
    </message>
    <message>
        <source>IPv6 Address</source>
        <translation>IPv6-Adresse</translation>
    </message>
    <message>
        <source>IPv4 Address</source>
        <translation>IPv4-Adresse</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>New Window</source>
        <translation>Neues Fenster</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>Übertragung</translation>
    </message>
    <message>
        <source>Sending Update data</source>
        <translation>Aktualisierungsdaten werden gesendet</translation>
    </message>
    <message>
        <source>Printer:</source>
        <translation>Drucker:</translation>
    </message>
    <message>
        <source>Firmware files</source>
        <translation>Firmware-Dateien</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Anschluss</translation>
    </message>
    <message>
        <source>Network printers</source>
        <translation>Netzwerkdrucker</translation>
    </message>
    <message>
        <source>USB printers</source>
        <translation>USB-Drucker</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>First octet</source>
        <translation>Erstes Oktett</translation>
    </message>
    <message>
        <source>Second octet</source>
        <translation>Zweites Oktett</translation>
    </message>
    <message>
        <source>Third octet</source>
        <translation>Drittes Oktett</translation>
    </message>
    <message>
        <source>Fourth octet</source>
        <translation>Viertes Oktett</translation>
    </message>
    <message>
        <source>The settings file cannot be used:</source>
        <translation>Die Einstellungsdatei kann nicht verwendet werden:</translation>
    </message>
    <message>
        <source>The file does not exist.</source>
        <translation>Die Datei ist nicht vorhanden.</translation>
    </message>
    <message>
        <source>The file cannot be read.</source>
        <translation>Die Datei kann nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The file is not a valid property list.</source>
        <translation>Die Datei ist keine gültige Eigenschaftsliste.</translation>
    </message>
    <message>
        <source>The file is larger than 16 MiB and was not read.</source>
        <translation>Die Datei ist größer als 16 MiB und wurde nicht gelesen.</translation>
    </message>
    <message>
        <source>The file nests deeper than 32 levels and was not read.</source>
        <translation>Die Datei ist tiefer als 32 Ebenen verschachtelt und wurde nicht gelesen.</translation>
    </message>
    <message>
        <source>The file holds more than 65536 values and was not read.</source>
        <translation>Die Datei enthält mehr als 65536 Werte und wurde nicht gelesen.</translation>
    </message>
    <message>
        <source>A firmware file does not match its checksum, so nothing was sent:</source>
        <translation>Eine Firmware-Datei stimmt nicht mit ihrer Prüfsumme überein, daher wurde nichts gesendet:</translation>
    </message>
    <message>
        <source>A firmware file changed while it was sent, so the printer did not get it whole:</source>
        <translation>Eine Firmware-Datei hat sich während des Sendens geändert, daher hat der Drucker sie nicht vollständig erhalten:</translation>
    </message>
    <message>
        <source>The folder holds several settings files (.plist) and none is named after the program.</source>
        <translation>Der Ordner enthält mehrere Einstellungsdateien (.plist), und keine trägt den Namen des Programms.</translation>
    </message>
    <message>
        <source>Choose an update package</source>
        <translation>Aktualisierungspaket auswählen</translation>
    </message>
    <message>
        <source>Cu&amp;t</source>
        <translation>&amp;Ausschneiden</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>&amp;Einfügen</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Alles auswählen</translation>
    </message>
    <message>
        <source>Look in:</source>
        <translation>Suchen in:</translation>
    </message>
    <message>
        <source>Folder:</source>
        <translation>Ordner:</translation>
    </message>
    <message>
        <source>Files of type:</source>
        <translation>Dateityp:</translation>
    </message>
    <message>
        <source>Choose</source>
        <translation>Auswählen</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Printing</source>
        <translation>Druckt</translation>
    </message>
    <message>
        <source>Power Saving</source>
        <translation>Energiesparmodus</translation>
    </message>
    <message>
        <source>Warming Up</source>
        <translation>Aufwärmphase</translation>
    </message>
    <message>
        <source>Pending Deletion</source>
        <translation>Wird gelöscht</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Processing</source>
        <translation>Verarbeitung</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Beschäftigt</translation>
    </message>
    <message>
        <source>Offline</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>Toner low</source>
        <translation>Wenig Toner</translation>
    </message>
    <message>
        <source>Initializing</source>
        <translation>Wird initialisiert</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
</context>
</TS>
