#pragma once

class ExportContact;

// Gives the driver the writers of the formats whose libraries this build has (Excel, Docx,
// Numbers, Pages); the driver brings the CSV, TXT, HTML and vCard writers itself.
void installFormatWriters(ExportContact& driver);
