<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="en">
<context>
    <name>StringTable</name>
    <message>
        <source>Back</source>
        <translation>Précédent</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Suivant</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Finish</source>
        <translation>Terminer</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>Modèle</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Langue</translation>
    </message>
    <message>
        <source>Please select the language.</source>
        <translation>Veuillez choisir la langue.</translation>
    </message>
    <message>
        <source>Select a port for updating</source>
        <translation>Choisissez le port de la mise à jour</translation>
    </message>
    <message>
        <source>Network (Port9100)</source>
        <translation>Réseau (port 9100)</translation>
    </message>
    <message>
        <source>USB</source>
        <translation>USB</translation>
    </message>
    <message>
        <source>When updating Firmware via Network interface. do not print jobs or open the printer driver properties until the update is completed.</source>
        <translation>Pendant la mise à jour du micrologiciel par l’interface réseau, n’imprimez aucun document et n’ouvrez pas les propriétés du pilote d’imprimante avant la fin de la mise à jour.</translation>
    </message>
    <message>
        <source>When updating Firmware via USB interface. do not print jobs or open the printer driver properties until the update is completed.</source>
        <translation>Pendant la mise à jour du micrologiciel par l’interface USB, n’imprimez aucun document et n’ouvrez pas les propriétés du pilote d’imprimante avant la fin de la mise à jour.</translation>
    </message>
    <message>
        <source>Please select printers to update.</source>
        <translation>Sélectionnez les imprimantes à mettre à jour.</translation>
    </message>
    <message>
        <source>Update data will be sent to the printer when you click Next.</source>
        <translation>Les données de mise à jour seront envoyées à l’imprimante lorsque vous cliquerez sur « Suivant ».</translation>
    </message>
    <message>
        <source>Do not switch off the power until the Ready indicator lights, or [Ready to print] is displayed.</source>
        <translation>N’éteignez pas l’appareil avant que le voyant Prêt ne s’allume ou que [Prêt à imprimer] ne s’affiche.</translation>
    </message>
    <message>
        <source>Module Name</source>
        <translation>Nom du module</translation>
    </message>
    <message>
        <source>Community</source>
        <translation>Communauté</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Actualiser</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Ajouter</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>Nom du fichier</translation>
    </message>
    <message>
        <source>File Size</source>
        <translation>Taille du fichier</translation>
    </message>
    <message>
        <source>Release Date</source>
        <translation>Date de publication</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>Adresse IP</translation>
    </message>
    <message>
        <source>Printer Name</source>
        <translation>Nom de l’imprimante</translation>
    </message>
    <message>
        <source>Printer F/W</source>
        <translation>Micrologiciel</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>État</translation>
    </message>
    <message>
        <source>Serial No.</source>
        <translation>N° de série</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Avertissement</translation>
    </message>
    <message>
        <source>Firmware download completed!</source>
        <translation>Le micrologiciel a été entièrement transféré !</translation>
    </message>
    <message>
        <source>Firmware download via USB fail!</source>
        <translation>Le transfert du micrologiciel par USB a échoué !</translation>
    </message>
    <message>
        <source>Firmware download via Network fail!</source>
        <translation>Le transfert du micrologiciel par le réseau a échoué !</translation>
    </message>
    <message>
        <source>The IP Address is repeated.</source>
        <translation>Cette adresse IP figure déjà dans la liste.</translation>
    </message>
    <message>
        <source>Please make sure that the MFP is connected correctly.</source>
        <translation>Vérifiez que l’appareil multifonction est correctement connecté.</translation>
    </message>
    <message>
        <source>Unable to download data to the printer:</source>
        <translation>Impossible de transférer les données vers l’imprimante:</translation>
    </message>
    <message>
        <source>Add IP Address</source>
        <translation>Ajouter une adresse IP</translation>
    </message>
    <message>
        <source>IPv6 Address</source>
        <translation>Adresse IPv6</translation>
    </message>
    <message>
        <source>IPv4 Address</source>
        <translation>Adresse IPv4</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Fichier</translation>
    </message>
    <message>
        <source>New Window</source>
        <translation>Nouvelle fenêtre</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>Transfert</translation>
    </message>
    <message>
        <source>Sending Update data</source>
        <translation>Envoi des données de mise à jour</translation>
    </message>
    <message>
        <source>Printer:</source>
        <translation>Imprimante:</translation>
    </message>
    <message>
        <source>Firmware files</source>
        <translation>Fichiers du micrologiciel</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Network printers</source>
        <translation>Imprimantes réseau</translation>
    </message>
    <message>
        <source>USB printers</source>
        <translation>Imprimantes USB</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Mettre à jour</translation>
    </message>
    <message>
        <source>First octet</source>
        <translation>Premier octet</translation>
    </message>
    <message>
        <source>Second octet</source>
        <translation>Deuxième octet</translation>
    </message>
    <message>
        <source>Third octet</source>
        <translation>Troisième octet</translation>
    </message>
    <message>
        <source>Fourth octet</source>
        <translation>Quatrième octet</translation>
    </message>
    <message>
        <source>The settings file cannot be used:</source>
        <translation>Le fichier de réglages ne peut pas être utilisé:</translation>
    </message>
    <message>
        <source>The file does not exist.</source>
        <translation>Le fichier n’existe pas.</translation>
    </message>
    <message>
        <source>The file cannot be read.</source>
        <translation>Le fichier ne peut pas être lu.</translation>
    </message>
    <message>
        <source>The file is not a valid property list.</source>
        <translation>Le fichier n’est pas une liste de propriétés valide.</translation>
    </message>
    <message>
        <source>The file is larger than 16 MiB and was not read.</source>
        <translation>Le fichier dépasse 16 Mio et n’a pas été lu.</translation>
    </message>
    <message>
        <source>The file nests deeper than 32 levels and was not read.</source>
        <translation>Le fichier est imbriqué sur plus de 32 niveaux et n’a pas été lu.</translation>
    </message>
    <message>
        <source>The file holds more than 65536 values and was not read.</source>
        <translation>Le fichier contient plus de 65536 valeurs et n’a pas été lu.</translation>
    </message>
    <message>
        <source>A firmware file does not match its checksum, so nothing was sent:</source>
        <translation>Un fichier du micrologiciel ne correspond pas à sa somme de contrôle, rien n’a donc été envoyé:</translation>
    </message>
    <message>
        <source>A firmware file changed while it was sent, so the printer did not get it whole:</source>
        <translation>Un fichier du micrologiciel a changé pendant son envoi, l’imprimante ne l’a donc pas reçu en entier:</translation>
    </message>
    <message>
        <source>The folder holds several settings files (.plist) and none is named after the program.</source>
        <translation>Le dossier contient plusieurs fichiers de réglages (.plist) et aucun ne porte le nom du programme.</translation>
    </message>
    <message>
        <source>Choose an update package</source>
        <translation>Choisir un paquet de mise à jour</translation>
    </message>
    <message>
        <source>Cu&amp;t</source>
        <translation>Co&amp;uper</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Copier</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>C&amp;oller</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Tout sélectionner</translation>
    </message>
    <message>
        <source>Look in:</source>
        <translation>Regarder dans:</translation>
    </message>
    <message>
        <source>Folder:</source>
        <translation>Dossier:</translation>
    </message>
    <message>
        <source>Files of type:</source>
        <translation>Type de fichier:</translation>
    </message>
    <message>
        <source>Choose</source>
        <translation>Choisir</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Prête</translation>
    </message>
    <message>
        <source>Printing</source>
        <translation>Impression</translation>
    </message>
    <message>
        <source>Power Saving</source>
        <translation>Mode veille</translation>
    </message>
    <message>
        <source>Warming Up</source>
        <translation>Préchauffage</translation>
    </message>
    <message>
        <source>Pending Deletion</source>
        <translation>Suppression en attente</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>En pause</translation>
    </message>
    <message>
        <source>Waiting</source>
        <translation>En attente</translation>
    </message>
    <message>
        <source>Processing</source>
        <translation>Traitement</translation>
    </message>
    <message>
        <source>Busy</source>
        <translation>Occupée</translation>
    </message>
    <message>
        <source>Offline</source>
        <translation>Hors ligne</translation>
    </message>
    <message>
        <source>Toner low</source>
        <translation>Toner bas</translation>
    </message>
    <message>
        <source>Initializing</source>
        <translation>Initialisation</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Inconnu</translation>
    </message>
</context>
</TS>
