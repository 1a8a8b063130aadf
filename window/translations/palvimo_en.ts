<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Failure_Model</name>
    <message>
        <source>drive fault</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not checked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reason</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Times</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>First</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Live_Figures</name>
    <message>
        <source>%1 drive fault</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 drive faults</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 · %2 checked · %3 · %4 not checked · %5</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 at %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Past_Runs_View</name>
    <message>
        <source>cut short</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Run_Trend_Plot</name>
    <message>
        <source>Speed by run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No run of this drive has speeds to plot.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>write</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 runs, oldest on the left</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Speed_Plot</name>
    <message>
        <source>read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>write</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>read back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Speed plot</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The read, write and read-back speed of each file checked over the run, thin, with their moving averages, thick; the figures give the averages of the run.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No speed measured yet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>speed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>time into the run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>thick: average of %1 files</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>palvimo::Folder_View</name>
    <message>
        <source>Reading…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>palvimo::Main_Form</name>
    <message>
        <source>Palvimo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Directory Contents:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drive listed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Directory listed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>List of files in directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Extension:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extension of copied files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File count:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>De&amp;lay (msec):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delay between copying a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Recurse subdirectories</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Recurse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Make list of directory contents</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit program</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show the &amp;report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File count: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Number of files copied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Palvimo — %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 drive fault in %3 probes that checked a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 drive faults in %3 probes that checked a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: no drive faults; %2 file could not be checked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: no drive faults; %2 files could not be checked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Ctrl+R shows them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot open the drive: %1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check every file once (read only)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Listing the files of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The catalogue is not kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The catalogue is not kept: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>palvimo::Past_Runs_View</name>
    <message>
        <source>Palvimo past runs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Duration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Probes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drive faults</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not checked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Result</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Past runs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Drive:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Average speed of each run of the drive:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading the runs kept…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All drives</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No run has been kept yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Palvimo run of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Record</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading the record…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>palvimo::Report_Window</name>
    <message>
        <source>&amp;Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Save…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Palvimo report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failures</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No failures.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Failures:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Speed of each file checked:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sort by %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No run yet: choose a folder and press Start.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>And %1 more failures of other files, not kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No failures so far.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Runs are not recorded on disk: there is no home folder to keep them in.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The record cannot be written on disk: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Record on disk: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Each run is recorded on disk in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The report is on the clipboard.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save the report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>JSON (*.json)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saved as %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot save as %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Past runs…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
