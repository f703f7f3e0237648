"""The version resource of the Windows programs, read back from the PE file as Explorer reads it
(the Details tab of the file's properties): the fixed file version, and the strings product
name, description, file and product version of the US English / Unicode table."""

import re

import pefile


def project_version(cmake_lists):
    """"3.02" from CMakeLists.txt's project() line."""
    return re.search(r"project\(kelvarin VERSION ([0-9.]+)", cmake_lists.read_text()).group(1)


def version_strings(exe):
    """The fixed file version as (major, minor, patch, build) and the string table, or None."""
    pe = pefile.PE(str(exe), fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return None
    fixed = pe.VS_FIXEDFILEINFO[0]
    numbers = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16,
               fixed.FileVersionLS & 0xFFFF)
    strings = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            if table.LangID.lower() == b"040904b0":
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return numbers, strings


def version_problem(exe, version, description):
    """None when exe carries the project's version, the product name and this description."""
    found = version_strings(exe)
    if found is None:
        return "no version resource"
    numbers, strings = found
    major, minor = (int(part) for part in version.split("."))
    expected = {"ProductName": "KELVARIN", "FileDescription": description, "FileVersion": version,
                "ProductVersion": version, "OriginalFilename": exe.name}
    wrong = {key: strings.get(key) for key, value in expected.items() if strings.get(key) != value}
    if numbers != (major, minor, 0, 0):
        wrong["fixed file version"] = numbers
    return f"{wrong} (expected {expected})" if wrong else None
