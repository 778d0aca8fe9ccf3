"""Where the product is found: the uninstall entry in either registry view,
and the folder the product last ran from."""
import unittest

import e2e_support
from e2e_support import EN, NO_PRODUCT_EN, PRODUCT, E2eCase
from harness import Installation

e2e_support.require()

OTHER = r"C:\Tools\Orfa"
# A product installed outside Program Files, in a folder ordinary users may write to.
OWN_FOLDER = r"C:\Orfa"
VICTIM = r"C:\victim.txt"
NOTHING = r"C:\nothing.txt"
VICTIM2 = r"C:\Data\second.txt"


class LastRunFolderTest(E2eCase):
    def test_last_run_folder_wins_over_the_uninstall_entry(self):
        inst = Installation(installed_stamp=12, more_products=[OTHER], last_run_folder=OTHER)
        result = self.run_update(inst, answers=["yes", "yes"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])])
        self.assertPayloadInstalled(result, folder=OTHER)
        self.assertUntouched(result, stamp=12, folder=PRODUCT)
        self.assertStartedIn(result, OTHER)

    def test_last_run_folder_without_the_product_is_no_product(self):
        # the uninstall entry names the right folder, the last run folder does not
        inst = Installation(installed_stamp=12, last_run_folder=r"C:\Tools")
        result = self.run_update(inst, answers=["yes", "yes"])
        self.assertEnded(result)
        self.assertBoxes(result, [NO_PRODUCT_EN])
        self.assertUntouched(result, stamp=12)
        self.assertNoSizeRecorded(result)


    def test_empty_last_run_folder_leaves_the_uninstall_entrys_folder(self):
        # run from another folder: an empty value must not send the elevated
        # installer to its current directory
        for value in ("", "Orfa", "C:Orfa"):
            with self.subTest(value=value):
                inst = Installation(installed_stamp=12, last_run_folder=value)
                result = self.run_update(inst, answers=["yes", "yes"], cwd="C:\\windows\\temp")
                self.assertEnded(result)
                self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                          (EN["done_caption"], EN["installdone"])])
                self.assertPayloadInstalled(result)
                self.assertStartedIn(result, PRODUCT)

    def test_last_run_folder_of_another_type_ends_with_an_application_error(self):
        inst = Installation(installed_stamp=12, user_values={"TheLastRunFolder": "dword:00000001"})
        result = self.run_update(inst, answers=["yes", "yes"])
        self.assertFalse(result.timed_out)
        self.assertEqual(result.exit_code, 1, result.describe())
        self.assertEqual([b.caption for b in result.boxes], ["Application Error"])
        box = result.boxes[0]
        self.assertRegex(box.text, r"^Exception \w+ in module orfa-update\.exe at [0-9A-F]{8}\.\r\n"
                                   r"[^\r\n]+\.\r\n$")
        self.assertEqual((box.button_ids, box.icon), ([1], "error"))
        self.assertUntouched(result, stamp=12)
        self.assertNoSizeRecorded(result)


class QuotedUninstallCommandTest(E2eCase):
    def test_quoted_commands_with_and_without_arguments_find_the_product(self):
        for command in ['"' + PRODUCT + r'\unins000.exe"',
                        '"' + PRODUCT + r'\uninstall.exe" /SILENT /LOG="C:\Temp\u.log"']:
            with self.subTest(command=command):
                inst = Installation(installed_stamp=12, uninstall_string=command)
                result = self.run_update(inst, args=["modest"])
                self.assertEnded(result)
                self.assertBoxes(result, [])
                self.assertPayloadInstalled(result)


class RegistryViewTest(E2eCase):
    def test_native_entry_on_a_64bit_system(self):
        result = self.run_update(Installation(arch="win64", installed_stamp=12, uninstall="native"),
                                 args=["modest"])
        self.assertEnded(result)
        self.assertBoxes(result, [])
        self.assertPayloadInstalled(result, view="native")
        self.assertIsNone(result.estimated_size["wow"])

    def test_entry_only_under_wow6432node_on_a_64bit_system(self):
        result = self.run_update(Installation(arch="win64", installed_stamp=12, uninstall="wow"),
                                 answers=["yes", "no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])])
        # the size goes into the entry that was found; no native entry is made
        self.assertPayloadInstalled(result, view="wow")
        self.assertEqual(result.uninstall_keys["native"], False, result.describe())

    def test_no_entry_uses_the_program_files_folder(self):
        # without an entry the product is looked for in ProgramFilesDir + "Orfa"
        result = self.run_update(Installation(installed_stamp=12, uninstall=None),
                                 answers=["no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"])])
        self.assertUntouched(result, stamp=12)


class PlantedLinkTest(E2eCase):
    def test_links_at_the_temporary_names_are_left_alone_never_followed(self):
        # another user made ~orfm.cok (and ~~orfm.cok) Unix links to files
        # outside the product folder, or to none; the elevated installer
        # writes beside them, under the next free name
        outside = {VICTIM: b"victim\r\n", VICTIM2: b"second\r\n", NOTHING: None}
        for links in ({"~orfm.cok": VICTIM}, {"~orfm.cok": NOTHING},
                      {"~orfm.cok": VICTIM, "~~orfm.cok": VICTIM2}):
            with self.subTest(links=links):
                inst = Installation(product_dir=OWN_FOLDER, installed_stamp=12, links=links,
                                    outside_files=dict(outside))
                result = self.run_update(inst, args=["modest"])
                self.assertEnded(result)
                self.assertBoxes(result, [])
                self.assertPayloadInstalled(result)
                # what the links lead to is neither written, moved nor made
                self.assertEqual(result.outside_files, outside, result.describe())
                self.assertEqual(result.product_links, sorted(links), result.describe())
                self.assertEqual([n for n in result.product_files if n.startswith("~")],
                                 [n for n in sorted(links) if links[n] != NOTHING],
                                 result.describe())


if __name__ == "__main__":
    unittest.main()
