#pragma once

// Registers every record class of the model (environments, endpoints,
// customers), so that archives naming them decode in programs that look
// classes up by name before making any record.

void AFXRegisterModelClasses();
