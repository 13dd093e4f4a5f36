#include "tools/check/program_protection.h"

#include "common/folder_security.h"

ProgramProtection ReadProgramProtection(const std::wstring& program)
{
    ProgramProtection protection;
    protection.program = program;
    protection.steps = ReadProgramPathSecurity(program);
    for (const PathSecurity& step : protection.steps) {
        for (const Writer& writer : step.writers) {
            if (protection.names.count(writer.sid) == 0) {
                const std::wstring name = AccountNameOfSid(writer.sid);
                if (!name.empty()) {
                    protection.names[writer.sid] = name;
                }
            }
        }
    }
    return protection;
}
