<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- English: the counted texts in their singular and plural forms. -->
<TS version="2.1" language="en">
<context>
    <name>AppDelegate</name>
    <message numerus="yes">
        <source>%n contact(s)</source>
        <translation>
            <numerusform>%n contact</numerusform>
            <numerusform>%n contacts</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Import %n vCard file(s) into the address book?</source>
        <translation>
            <numerusform>Import %n vCard file into the address book?</numerusform>
            <numerusform>Import %n vCard files into the address book?</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>BrowserArea</name>
    <message numerus="yes">
        <source>&lt;h2&gt;%n contact(s) in the address book&lt;/h2&gt;&lt;p&gt;Press Scan to look for problems, or Export All to save every contact.&lt;/p&gt;</source>
        <translation>
            <numerusform>&lt;h2&gt;%n contact in the address book&lt;/h2&gt;&lt;p&gt;Press Scan to look for problems, or Export All to save every contact.&lt;/p&gt;</numerusform>
            <numerusform>&lt;h2&gt;%n contacts in the address book&lt;/h2&gt;&lt;p&gt;Press Scan to look for problems, or Export All to save every contact.&lt;/p&gt;</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ExportContactController</name>
    <message numerus="yes">
        <source>Exporting %n contact(s)…</source>
        <translation>
            <numerusform>Exporting %n contact…</numerusform>
            <numerusform>Exporting %n contacts…</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message numerus="yes">
        <source>The contacts were exported as %n file(s) into the folder "%1".</source>
        <translation>
            <numerusform>The contacts were exported as %n file into the folder "%1".</numerusform>
            <numerusform>The contacts were exported as %n files into the folder "%1".</numerusform>
        </translation>
    </message>
</context>
</TS>
