<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>AnalysisLogText</name>
    <message numerus="yes">
        <source>%1 :  %n  Records</source>
        <translation>
            <numerusform>%1 :  %n  Records</numerusform>
            <numerusform>%1 :  %n  Records</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>LossText</name>
    <message numerus="yes">
        <source>%n memo values lost</source>
        <translation>
            <numerusform>%n memo value lost</numerusform>
            <numerusform>%n memo values lost</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n OLE object values lost</source>
        <translation>
            <numerusform>%n OLE object value lost</numerusform>
            <numerusform>%n OLE object values lost</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values lost</source>
        <translation>
            <numerusform>%n value lost</numerusform>
            <numerusform>%n values lost</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n %1 values lost</source>
        <translation>
            <numerusform>%n %1 value lost</numerusform>
            <numerusform>%n %1 values lost</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 was created unenforced: %n rows of %2 break it</source>
        <translation>
            <numerusform>%1 was created unenforced: %n row of %2 breaks it</numerusform>
            <numerusform>%1 was created unenforced: %n rows of %2 break it</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n rows</source>
        <translation>
            <numerusform>%n row</numerusform>
            <numerusform>%n rows</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 of %n rows</source>
        <translation>
            <numerusform>%1 of %n row</numerusform>
            <numerusform>%1 of %n rows</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n damaged rows skipped</source>
        <translation>
            <numerusform>%n damaged row skipped</numerusform>
            <numerusform>%n damaged rows skipped</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n rows not found</source>
        <translation>
            <numerusform>%n row not found</numerusform>
            <numerusform>%n rows not found</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n rows refused by the target</source>
        <translation>
            <numerusform>%n row refused by the target</numerusform>
            <numerusform>%n rows refused by the target</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values refused by the target</source>
        <translation>
            <numerusform>%n value refused by the target</numerusform>
            <numerusform>%n values refused by the target</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>layout inferred from its rows (%1 of %n column types guessed from the values)</source>
        <translation>
            <numerusform>layout inferred from its rows (%1 of %n column type guessed from the values)</numerusform>
            <numerusform>layout inferred from its rows (%1 of %n column types guessed from the values)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Total: %1 of %n rows recovered</source>
        <translation>
            <numerusform>Total: %1 of %n row recovered</numerusform>
            <numerusform>Total: %1 of %n rows recovered</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n values</source>
        <translation>
            <numerusform>%n value</numerusform>
            <numerusform>%n values</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, and the rows of %n lost tables no definition counts</source>
        <translation>
            <numerusform>, and the rows of %n lost table no definition counts</numerusform>
            <numerusform>, and the rows of %n lost tables no definition counts</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n tables</source>
        <translation>
            <numerusform>%n table</numerusform>
            <numerusform>%n tables</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n relations</source>
        <translation>
            <numerusform>%n relation</numerusform>
            <numerusform>%n relations</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n queries</source>
        <translation>
            <numerusform>%n query</numerusform>
            <numerusform>%n queries</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n indexes or keys</source>
        <translation>
            <numerusform>%n index or key</numerusform>
            <numerusform>%n indexes or keys</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n objects</source>
        <translation>
            <numerusform>%n object</numerusform>
            <numerusform>%n objects</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n table names</source>
        <translation>
            <numerusform>%n table name</numerusform>
            <numerusform>%n table names</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>, and %n other parts (named above)</source>
        <translation>
            <numerusform>, and %n other part (named above)</numerusform>
            <numerusform>, and %n other parts (named above)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>; and %n other parts (named above)</source>
        <translation>
            <numerusform>; and %n other part (named above)</numerusform>
            <numerusform>; and %n other parts (named above)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>... and %n more parts</source>
        <translation>
            <numerusform>... and %n more part</numerusform>
            <numerusform>... and %n more parts</numerusform>
        </translation>
    </message>
</context>
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
