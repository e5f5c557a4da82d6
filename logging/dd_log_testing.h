#pragma once

// Lets tests exercise both ways of serving loggers on any machine: one after
// the other (one processor) or in parallel as a group (several). Zero restores
// the machine's own count.
void DDLogSetProcessorCountForTesting(unsigned count);
