<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>mendora::MainDialog</name>
    <message numerus="yes">
        <source>%Ln rows read so far</source>
        <translation>
            <numerusform>%Ln row read so far</numerusform>
            <numerusform>%Ln rows read so far</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln tables</source>
        <translation>
            <numerusform>%Ln table</numerusform>
            <numerusform>%Ln tables</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%Ln rows</source>
        <translation>
            <numerusform>%Ln row</numerusform>
            <numerusform>%Ln rows</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>... and %Ln more tables</source>
        <translation>
            <numerusform>... and %Ln more table</numerusform>
            <numerusform>... and %Ln more tables</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>... and %Ln more</source>
        <translation>
            <numerusform>... and %Ln more</numerusform>
            <numerusform>... and %Ln more</numerusform>
        </translation>
    </message>
</context>
</TS>
